#pragma once
// The web addresses behind the about, support and guide buttons. They live in "links.ini" in the
// application folder (keys about, support, help), so a distributor can point them elsewhere
// without a rebuild; a missing file or key gives the built-in address.
#include <QString>

struct LINK_URLS {
    QString strAbout;
    QString strSupport;
    QString strHelp;
};

// The addresses from the ini file at strIniPath, each key falling back to its default.
LINK_URLS ReadLinkUrls(const QString& strIniPath);
// The addresses from the application folder's "links.ini".
LINK_URLS ReadAppLinkUrls();
