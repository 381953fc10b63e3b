// Draws the window's icons as PNG files, each at 1x and 2x ("name@2x.png"),
// so they stay crisp on high-density screens; with --app-icons, the
// program's icon for the desktop's icon theme at each size the theme expects
// (DIRECTORY/SIZExSIZE/apps/varbuild.png). Run it once after changing a
// drawing and commit the images: the build does not run it.
//
//   icongen OUTPUT_DIRECTORY
//   icongen --app-icons OUTPUT_DIRECTORY

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <functional>

namespace {

using Draw = std::function<void(QPainter&)>;

const QColor Ink(0x33, 0x33, 0x33);
const QColor Orange(0xff, 0x7f, 0x00);
const QColor DarkOrange(0xc8, 0x5a, 0x00);

QPen pen(const QColor& color, qreal width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A sheet of paper with a folded corner, used by every file-type icon.
void page(QPainter& p)
{
    QPainterPath sheet;
    sheet.moveTo(2.5, 0.5);
    sheet.lineTo(10.0, 0.5);
    sheet.lineTo(13.5, 4.0);
    sheet.lineTo(13.5, 15.5);
    sheet.lineTo(2.5, 15.5);
    sheet.closeSubpath();
    p.setPen(pen(QColor(0x70, 0x70, 0x70), 1.0));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(10.0, 0.5);
    fold.lineTo(10.0, 4.0);
    fold.lineTo(13.5, 4.0);
    p.setBrush(QColor(0xdd, 0xdd, 0xdd));
    p.drawPath(fold);
}

// The coloured badge in the lower part of a file icon.
void badge(QPainter& p, const QColor& color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(QRectF(0.5, 7.0, 12.0, 8.0), 1.5, 1.5);
}

void fileIcon(QPainter& p, const QColor& color, const std::function<void(QPainter&)>& glyph)
{
    page(p);
    badge(p, color);
    p.setPen(pen(Qt::white, 1.4));
    p.setBrush(Qt::NoBrush);
    glyph(p);
}

void project(QPainter& p)
{
    QLinearGradient g(0, 0, 0, 16);
    g.setColorAt(0, QColor(0xff, 0xa0, 0x30));
    g.setColorAt(1, DarkOrange);
    p.setPen(pen(DarkOrange.darker(130), 1.0));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    p.setPen(pen(Qt::white, 2.0));
    p.drawPolyline(QPolygonF({QPointF(4.2, 4.0), QPointF(8.0, 12.0), QPointF(11.8, 4.0)}));
}

void folderBack(QPainter& p)
{
    QPainterPath back;
    back.moveTo(0.5, 3.0);
    back.lineTo(5.5, 3.0);
    back.lineTo(7.0, 4.5);
    back.lineTo(15.0, 4.5);
    back.lineTo(15.0, 13.5);
    back.lineTo(0.5, 13.5);
    back.closeSubpath();
    p.setPen(pen(QColor(0xa8, 0x7a, 0x10), 1.0));
    p.setBrush(QColor(0xe8, 0xb8, 0x40));
    p.drawPath(back);
}

void folderClosed(QPainter& p)
{
    folderBack(p);
    p.setBrush(QColor(0xf8, 0xd0, 0x60));
    p.drawRect(QRectF(0.5, 6.0, 14.5, 7.5));
}

void folderOpen(QPainter& p)
{
    folderBack(p);
    QPainterPath front;
    front.moveTo(3.0, 7.0);
    front.lineTo(15.5, 7.0);
    front.lineTo(13.0, 13.5);
    front.lineTo(0.5, 13.5);
    front.closeSubpath();
    p.setBrush(QColor(0xf8, 0xd0, 0x60));
    p.drawPath(front);
}

void plus(QPainter& p, qreal x, qreal y)
{
    p.drawLine(QPointF(x - 1.6, y), QPointF(x + 1.6, y));
    p.drawLine(QPointF(x, y - 1.6), QPointF(x, y + 1.6));
}

void letterC(QPainter& p, qreal x, qreal y)
{
    p.drawArc(QRectF(x - 2.2, y - 2.4, 4.4, 4.8), 45 * 16, 270 * 16);
}

void cpp(QPainter& p)
{
    fileIcon(p, QColor(0x1f, 0x5f, 0xbf), [](QPainter& q) {
        q.setPen(pen(Qt::white, 1.2));
        letterC(q, 3.4, 11.0);
        plus(q, 7.2, 11.0);
        plus(q, 10.8, 11.0);
    });
}

void c(QPainter& p)
{
    fileIcon(p, QColor(0x2e, 0x8b, 0x3a), [](QPainter& q) { letterC(q, 6.5, 11.0); });
}

void h(QPainter& p)
{
    fileIcon(p, QColor(0x8a, 0x3f, 0xb0), [](QPainter& q) {
        q.drawLine(QPointF(4.5, 8.6), QPointF(4.5, 13.4));
        q.drawLine(QPointF(8.5, 8.6), QPointF(8.5, 13.4));
        q.drawLine(QPointF(4.5, 11.0), QPointF(8.5, 11.0));
    });
}

void s(QPainter& p)
{
    fileIcon(p, QColor(0x60, 0x60, 0x60), [](QPainter& q) {
        q.setPen(pen(Qt::white, 1.0));
        q.drawLine(QPointF(2.5, 9.0), QPointF(10.5, 9.0));
        q.drawLine(QPointF(2.5, 11.0), QPointF(8.5, 11.0));
        q.drawLine(QPointF(2.5, 13.0), QPointF(10.0, 13.0));
    });
}

void pacman(QPainter& p)
{
    p.setPen(pen(QColor(0xb0, 0x8a, 0x00), 1.0));
    p.setBrush(QColor(0xff, 0xd4, 0x00));
    p.drawPie(QRectF(0.5, 1.0, 14, 14), 35 * 16, 290 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(7.5, 4.8), 1.1, 1.1);
}

// Phones are drawn on a 32-pixel grid.
void phoneBody(QPainter& p, const QColor& screen)
{
    p.setPen(pen(QColor(0x22, 0x22, 0x22), 1.0));
    QLinearGradient g(8, 0, 24, 0);
    g.setColorAt(0, QColor(0x55, 0x5b, 0x66));
    g.setColorAt(1, QColor(0x2c, 0x30, 0x38));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(8.5, 1.5, 15, 29), 3, 3);
    p.setBrush(screen);
    p.setPen(pen(QColor(0x15, 0x15, 0x15), 1.0));
    p.drawRect(QRectF(10.5, 5.5, 11, 12));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xcc, 0xcc, 0xcc));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRoundedRect(QRectF(11.0 + col * 3.6, 20.0 + row * 3.0, 2.6, 1.8), 0.6, 0.6);
}

void phone(QPainter& p)
{
    phoneBody(p, QColor(0x9c, 0xc8, 0xe8));
}

void phoneTarget(QPainter& p)
{
    phoneBody(p, QColor(0xff, 0xc0, 0x70));
    // A bull's-eye on the screen marks the target device.
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(QColor(0xd0, 0x20, 0x20), 1.3));
    p.drawEllipse(QPointF(16, 11.5), 4.0, 4.0);
    p.setBrush(QColor(0xd0, 0x20, 0x20));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(16, 11.5), 1.6, 1.6);
}

// Toolbar images, 32-pixel grid.
void newProject(QPainter& p)
{
    p.save();
    p.scale(2, 2);
    page(p);
    p.restore();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x9b, 0x3a));
    p.drawEllipse(QPointF(22, 22), 8, 8);
    p.setPen(pen(Qt::white, 2.4));
    p.drawLine(QPointF(22, 17.5), QPointF(22, 26.5));
    p.drawLine(QPointF(17.5, 22), QPointF(26.5, 22));
}

void openProject(QPainter& p)
{
    p.save();
    p.translate(0, 4);
    p.scale(2, 2);
    folderOpen(p);
    p.restore();
    p.setPen(pen(QColor(0x1f, 0x5f, 0xbf), 2.6));
    p.drawLine(QPointF(24, 14), QPointF(24, 3));
    p.drawPolyline(QPolygonF({QPointF(19.5, 7.5), QPointF(24, 3), QPointF(28.5, 7.5)}));
}

void save(QPainter& p)
{
    p.setPen(pen(QColor(0x15, 0x35, 0x70), 1.2));
    p.setBrush(QColor(0x2a, 0x5c, 0xb0));
    QPainterPath disk;
    disk.moveTo(3.5, 3.5);
    disk.lineTo(24.5, 3.5);
    disk.lineTo(28.5, 7.5);
    disk.lineTo(28.5, 28.5);
    disk.lineTo(3.5, 28.5);
    disk.closeSubpath();
    p.drawPath(disk);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8.5, 3.5, 14, 9));
    p.setBrush(QColor(0x2a, 0x5c, 0xb0));
    p.drawRect(QRectF(17.5, 5.0, 3, 6));
    p.setBrush(QColor(0xe8, 0xe8, 0xe8));
    p.drawRoundedRect(QRectF(7.5, 17.5, 17, 11), 1, 1);
    p.setPen(pen(QColor(0xa0, 0xa0, 0xa0), 1.0));
    p.drawLine(QPointF(10, 21.5), QPointF(22, 21.5));
    p.drawLine(QPointF(10, 24.5), QPointF(22, 24.5));
}

void play(QPainter& p)
{
    QLinearGradient g(0, 2, 0, 30);
    g.setColorAt(0, QColor(0x4c, 0xc0, 0x58));
    g.setColorAt(1, QColor(0x1e, 0x85, 0x2c));
    p.setPen(pen(QColor(0x16, 0x66, 0x22), 1.2));
    p.setBrush(g);
    p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
    p.setPen(pen(Qt::white, 1.0));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(12.5, 9.0), QPointF(23.5, 16.0), QPointF(12.5, 23.0)}));
}

void help(QPainter& p)
{
    QLinearGradient g(0, 2, 0, 30);
    g.setColorAt(0, QColor(0x4a, 0x8c, 0xe8));
    g.setColorAt(1, QColor(0x1c, 0x4f, 0xb0));
    p.setPen(pen(QColor(0x14, 0x3c, 0x88), 1.2));
    p.setBrush(g);
    p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
    p.setPen(pen(Qt::white, 3.0));
    p.setBrush(Qt::NoBrush);
    QPainterPath q;
    q.moveTo(11.0, 12.5);
    q.cubicTo(11.0, 6.5, 21.0, 6.5, 21.0, 12.0);
    q.cubicTo(21.0, 15.5, 16.0, 15.5, 16.0, 19.5);
    p.drawPath(q);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 24.2), 1.9, 1.9);
}

void searchPhone(QPainter& p)
{
    p.save();
    p.translate(-5, 0);
    phoneBody(p, QColor(0x9c, 0xc8, 0xe8));
    p.restore();
    p.setPen(pen(QColor(0x30, 0x30, 0x30), 3.2));
    p.drawLine(QPointF(25.0, 23.0), QPointF(29.5, 28.5));
    p.setPen(pen(QColor(0x30, 0x30, 0x30), 2.0));
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(QPointF(21.0, 18.0), 6.0, 6.0);
}

void sendPhone(QPainter& p)
{
    p.save();
    p.translate(-5, 0);
    phoneBody(p, QColor(0x9c, 0xc8, 0xe8));
    p.restore();
    // Radio waves leaving the phone.
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(Orange, 2.2));
    p.drawArc(QRectF(14.0, 5.0, 12.0, 12.0), -50 * 16, 100 * 16);
    p.setPen(pen(DarkOrange, 2.2));
    p.drawArc(QRectF(12.0, 1.0, 20.0, 20.0), -45 * 16, 90 * 16);
}

void orangeStrip(QPainter& p)
{
    QLinearGradient g(0, 0, 0, 24);
    g.setColorAt(0, QColor(0xff, 0xa6, 0x4a));
    g.setColorAt(0.5, Orange);
    g.setColorAt(1, QColor(0xe8, 0x6c, 0x00));
    p.fillRect(QRectF(0, 0, 8, 24), g);
}

bool writeIcon(const QString& dir, const QString& name, QSize size, const Draw& draw, QTextStream& log)
{
    for (int scale : {1, 2}) {
        QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        draw(painter);
        painter.end();
        const QString file = dir + "/" + name + (scale == 2 ? "@2x.png" : ".png");
        if (!image.save(file, "PNG")) {
            log << "cannot write " << file << "\n";
            return false;
        }
    }
    return true;
}

// The project icon drawn anew at each size (the drawing is on a 16-pixel
// grid), not a 16-pixel image blown up.
bool writeAppIcons(const QString& dir, QTextStream& log)
{
    for (int size : {16, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        project(painter);
        painter.end();
        const QString sizeDir = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
        QDir().mkpath(sizeDir);
        const QString file = sizeDir + QStringLiteral("/varbuild.png");
        if (!image.save(file, "PNG")) {
            log << "cannot write " << file << "\n";
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const bool appIcons = argc == 3 && QByteArray(argv[1]) == "--app-icons";
    if (argc != 2 && !appIcons) {
        err << "usage: icongen [--app-icons] OUTPUT_DIRECTORY\n";
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[argc - 1]);
    QDir().mkpath(dir);
    if (appIcons)
        return writeAppIcons(dir, err) ? 0 : 1;

    const QSize small(16, 16), large(32, 32);
    const struct {
        const char* name;
        QSize size;
        Draw draw;
    } icons[] = {
        {"ikon16x16", small, project},
        {"folder_closed", small, folderClosed},
        {"folder_open", small, folderOpen},
        {"cpp", small, cpp},
        {"c", small, c},
        {"h", small, h},
        {"s", small, s},
        {"pacman", small, pacman},
        {"phone", large, phone},
        {"phoneTarget", large, phoneTarget},
        {"new", large, newProject},
        {"open", large, openProject},
        {"save", large, save},
        {"play", large, play},
        {"help0", large, help},
        {"search_mobile2", large, searchPhone},
        {"send2", large, sendPhone},
        {"orange", QSize(8, 24), orangeStrip},
    };
    for (const auto& icon : icons)
        if (!writeIcon(dir, icon.name, icon.size, icon.draw, err))
            return 1;
    return 0;
}
