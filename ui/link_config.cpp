#include "ui/link_config.h"

#include <QSettings>

#include "util/app_folder.h"

namespace {
// Defaults until a links.ini says otherwise; the product's site is not settled yet.
constexpr const char* DEFAULT_ABOUT_URL = "https://korvalo.example/about";
constexpr const char* DEFAULT_SUPPORT_URL = "https://korvalo.example/support";
constexpr const char* DEFAULT_HELP_URL = "https://korvalo.example/guide";
}  // namespace

LINK_URLS ReadLinkUrls(const QString& strIniPath) {
    const QSettings settings(strIniPath, QSettings::IniFormat);
    LINK_URLS urls;
    urls.strAbout = settings.value("about", DEFAULT_ABOUT_URL).toString();
    urls.strSupport = settings.value("support", DEFAULT_SUPPORT_URL).toString();
    urls.strHelp = settings.value("help", DEFAULT_HELP_URL).toString();
    return urls;
}

LINK_URLS ReadAppLinkUrls() {
    return ReadLinkUrls(QString::fromStdString(rsb_getAppFolder() + "links.ini"));
}
