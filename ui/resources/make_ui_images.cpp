// Draws the window program's images at build time, so none is copied from anywhere:
//   make_ui_images OUTPUT_FOLDER
// writes one PNG per image into OUTPUT_FOLDER, and one per row of the file-type icon table into
// OUTPUT_FOLDER/FileIcon/. Plain shapes only (no text), so no font is needed.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "carving/file_category.h"
#include "carving/file_type_icons.h"

namespace {
const QColor kWhite(255, 255, 255);
const QColor kTeal(47, 79, 79);
const QColor kBlue(16, 78, 159);
const QColor kGreen(46, 139, 87);

struct IMAGE {
    const char* szName;
    int nSize;
    std::function<void(QPainter&, qreal)> draw;  // s: the side in pixels
};

QPen Pen(const QColor& color, qreal width) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// A filled disc with a light rim, the base of the small round icons.
void Disc(QPainter& p, qreal s, const QColor& color) {
    p.setPen(Pen(kWhite, s * 0.06));
    p.setBrush(color);
    p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
}

void QuestionMark(QPainter& p, qreal s) {
    QPainterPath hook;
    hook.moveTo(s * 0.36, s * 0.38);
    hook.cubicTo(s * 0.36, s * 0.2, s * 0.64, s * 0.2, s * 0.64, s * 0.38);
    hook.cubicTo(s * 0.64, s * 0.5, s * 0.5, s * 0.5, s * 0.5, s * 0.6);
    p.setPen(Pen(kWhite, s * 0.1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(kWhite);
    p.drawEllipse(QPointF(s * 0.5, s * 0.75), s * 0.06, s * 0.06);
}

// A sheet of paper with a folded corner.
void Sheet(QPainter& p, QRectF r) {
    QPainterPath sheet;
    const qreal fold = r.width() * 0.3;
    sheet.moveTo(r.topLeft());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.bottomRight());
    sheet.lineTo(r.bottomLeft());
    sheet.closeSubpath();
    p.setPen(Pen(kTeal, r.width() * 0.06));
    p.setBrush(kWhite);
    p.drawPath(sheet);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void Drive(QPainter& p, qreal s, qreal top, qreal height) {
    p.setPen(Pen(QColor(70, 70, 70), s * 0.05));
    p.setBrush(QColor(190, 196, 204));
    p.drawRoundedRect(QRectF(s * 0.08, top, s * 0.84, height), s * 0.08, s * 0.08);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(s * 0.78, top + height / 2), s * 0.06, s * 0.06);
}

const std::vector<IMAGE> kImages = {
    {"close", 32, [](QPainter& p, qreal s) {
         p.setPen(Pen(kWhite, s * 0.12));
         p.drawLine(QPointF(s * 0.25, s * 0.25), QPointF(s * 0.75, s * 0.75));
         p.drawLine(QPointF(s * 0.75, s * 0.25), QPointF(s * 0.25, s * 0.75));
     }},
    {"minimize", 32, [](QPainter& p, qreal s) {
         p.setPen(Pen(kWhite, s * 0.12));
         p.drawLine(QPointF(s * 0.25, s * 0.7), QPointF(s * 0.75, s * 0.7));
     }},
    {"about", 50, [](QPainter& p, qreal s) {
         Disc(p, s, kBlue);
         p.setPen(Pen(kWhite, s * 0.12));
         p.drawLine(QPointF(s * 0.5, s * 0.45), QPointF(s * 0.5, s * 0.72));
         p.setPen(Qt::NoPen);
         p.setBrush(kWhite);
         p.drawEllipse(QPointF(s * 0.5, s * 0.28), s * 0.07, s * 0.07);
     }},
    {"support", 50, [](QPainter& p, qreal s) {
         Disc(p, s, kGreen);
         // A life buoy: a ring with four white bands.
         p.setPen(Pen(kWhite, s * 0.14));
         p.setBrush(Qt::NoBrush);
         p.drawEllipse(QPointF(s * 0.5, s * 0.5), s * 0.24, s * 0.24);
         p.setPen(Pen(QColor(220, 60, 60), s * 0.14));
         for (int i = 0; i < 4; ++i) p.drawArc(QRectF(s * 0.26, s * 0.26, s * 0.48, s * 0.48), (i * 90 + 20) * 16, 50 * 16);
     }},
    {"help", 50, [](QPainter& p, qreal s) {
         Disc(p, s, QColor(230, 140, 30));
         QuestionMark(p, s);
     }},
    {"question", 48, [](QPainter& p, qreal s) {
         Disc(p, s, kBlue);
         QuestionMark(p, s);
     }},
    {"photo", 128, [](QPainter& p, qreal s) {
         p.setPen(Pen(kWhite, s * 0.05));
         p.setBrush(QColor(120, 180, 230));
         p.drawRoundedRect(QRectF(s * 0.12, s * 0.2, s * 0.76, s * 0.6), s * 0.05, s * 0.05);
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(255, 215, 0));
         p.drawEllipse(QPointF(s * 0.68, s * 0.36), s * 0.07, s * 0.07);
         QPainterPath hills;
         hills.moveTo(s * 0.15, s * 0.77);
         hills.lineTo(s * 0.38, s * 0.45);
         hills.lineTo(s * 0.55, s * 0.66);
         hills.lineTo(s * 0.66, s * 0.55);
         hills.lineTo(s * 0.85, s * 0.77);
         hills.closeSubpath();
         p.setBrush(kGreen);
         p.drawPath(hills);
     }},
    {"music", 128, [](QPainter& p, qreal s) {
         p.setPen(Qt::NoPen);
         p.setBrush(kWhite);
         p.drawEllipse(QPointF(s * 0.34, s * 0.74), s * 0.11, s * 0.08);
         p.drawEllipse(QPointF(s * 0.7, s * 0.66), s * 0.11, s * 0.08);
         p.setPen(Pen(kWhite, s * 0.05));
         p.drawLine(QPointF(s * 0.44, s * 0.74), QPointF(s * 0.44, s * 0.26));
         p.drawLine(QPointF(s * 0.8, s * 0.66), QPointF(s * 0.8, s * 0.18));
         p.setPen(Pen(kWhite, s * 0.1));
         p.drawLine(QPointF(s * 0.44, s * 0.28), QPointF(s * 0.8, s * 0.2));
     }},
    {"video", 128, [](QPainter& p, qreal s) {
         p.setPen(Pen(kWhite, s * 0.05));
         p.setBrush(QColor(60, 60, 70));
         p.drawRoundedRect(QRectF(s * 0.1, s * 0.3, s * 0.56, s * 0.42), s * 0.06, s * 0.06);
         QPainterPath lens;
         lens.moveTo(s * 0.66, s * 0.45);
         lens.lineTo(s * 0.9, s * 0.32);
         lens.lineTo(s * 0.9, s * 0.7);
         lens.lineTo(s * 0.66, s * 0.57);
         lens.closeSubpath();
         p.drawPath(lens);
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(220, 60, 60));
         p.drawEllipse(QPointF(s * 0.2, s * 0.4), s * 0.04, s * 0.04);
     }},
    {"scan_files", 64, [](QPainter& p, qreal s) {
         Sheet(p, QRectF(s * 0.12, s * 0.08, s * 0.5, s * 0.66));
         p.setPen(Pen(kBlue, s * 0.08));
         p.setBrush(QColor(200, 225, 255, 200));
         p.drawEllipse(QPointF(s * 0.55, s * 0.55), s * 0.17, s * 0.17);
         p.drawLine(QPointF(s * 0.67, s * 0.67), QPointF(s * 0.88, s * 0.88));
     }},
    {"physical_drive", 32, [](QPainter& p, qreal s) { Drive(p, s, s * 0.28, s * 0.44); }},
    {"drive", 24, [](QPainter& p, qreal s) {
         Drive(p, s, s * 0.3, s * 0.4);
         p.setPen(Pen(QColor(70, 70, 70), s * 0.05));
         p.drawLine(QPointF(s * 0.2, s * 0.5), QPointF(s * 0.6, s * 0.5));
     }},
    {"recover_file", 64, [](QPainter& p, qreal s) {
         Sheet(p, QRectF(s * 0.12, s * 0.08, s * 0.5, s * 0.66));
         p.setPen(Pen(kGreen, s * 0.1));
         p.drawLine(QPointF(s * 0.68, s * 0.4), QPointF(s * 0.68, s * 0.86));
         p.drawLine(QPointF(s * 0.52, s * 0.7), QPointF(s * 0.68, s * 0.86));
         p.drawLine(QPointF(s * 0.84, s * 0.7), QPointF(s * 0.68, s * 0.86));
     }},
};

// A file icon: a sheet with a band in its group's colour; names that are no extension
// ("photo_default", "music", ...) take the group their name says.
RESULT_GROUP IconGroup(const std::string& strName) {
    std::string strKey;
    const RESULT_GROUP eGroup = GetResultGroupByFileName(("x." + strName).c_str(), strKey);
    if (eGroup != RESULT_GROUP_OTHER) return eGroup;
    static const std::pair<const char*, RESULT_GROUP> s_prefixes[] = {
        {"image", RESULT_GROUP_PHOTO}, {"photo", RESULT_GROUP_PHOTO}, {"audio", RESULT_GROUP_MUSIC},
        {"music", RESULT_GROUP_MUSIC}, {"office", RESULT_GROUP_OFFICE}, {"video", RESULT_GROUP_VIDEO},
        {"real", RESULT_GROUP_VIDEO}, {"gzip", RESULT_GROUP_ARCHIVE}};
    for (const auto& prefix : s_prefixes)
        if (strName.rfind(prefix.first, 0) == 0) return prefix.second;
    return RESULT_GROUP_OTHER;
}

void FileIcon(QPainter& p, qreal s, RESULT_GROUP eGroup) {
    static const QColor s_colors[RESULT_GROUP_COUNT] = {QColor(46, 139, 87),  QColor(142, 68, 173),
                                                        QColor(41, 98, 180),  QColor(200, 60, 50),
                                                        QColor(160, 110, 40), QColor(120, 120, 120)};
    const QRectF sheet(s * 0.16, s * 0.06, s * 0.68, s * 0.88);
    Sheet(p, sheet);
    p.setPen(Qt::NoPen);
    p.setBrush(s_colors[eGroup]);
    p.drawRect(QRectF(sheet.left() + s * 0.04, s * 0.52, sheet.width() - s * 0.08, s * 0.34));
}

// The icon table's pictures, each file name once.
std::vector<std::string> FileIconNames() {
    std::set<std::string> setNames;
    for (int i = 0; szFileTypeStr[i].szIconPath != nullptr; ++i) {
        const std::string strPath = szFileTypeStr[i].szIconPath;
        const size_t nSlash = strPath.rfind('/');
        setNames.insert(strPath.substr(nSlash + 1, strPath.size() - nSlash - 1 - 4));
    }
    return {setNames.begin(), setNames.end()};
}

bool Save(const QDir& folder, const QString& strName, int nSize, const std::function<void(QPainter&, qreal)>& draw) {
    QImage canvas(nSize, nSize, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter, nSize);
    painter.end();
    const QString strPath = folder.filePath(strName + ".png");
    if (canvas.save(strPath, "PNG")) return true;
    fprintf(stderr, "make_ui_images: cannot write %s\n", qPrintable(strPath));
    return false;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: make_ui_images OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) return 1;
    for (const IMAGE& image : kImages)
        if (!Save(folder, image.szName, image.nSize, image.draw)) return 1;
    const QDir iconFolder(folder.filePath("FileIcon"));
    if (!iconFolder.exists() && !QDir().mkpath(iconFolder.path())) return 1;
    constexpr int FILE_ICON_SIZE = 32;
    for (const std::string& strName : FileIconNames()) {
        const RESULT_GROUP eGroup = IconGroup(strName);
        if (!Save(iconFolder, QString::fromStdString(strName), FILE_ICON_SIZE,
                  [eGroup](QPainter& p, qreal s) { FileIcon(p, s, eGroup); }))
            return 1;
    }
    return 0;
}
