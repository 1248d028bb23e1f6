#include "paint/PercentCell.h"
#include "paint/QxBarChartPainter.h"
#include "paint/Skins.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <gtest/gtest.h>

#include <filesystem>

using namespace quorvex;

namespace {

// The top of the build tree when the test runs inside one, else the working directory.
std::filesystem::path BuildRoot() {
    const std::filesystem::path start = std::filesystem::current_path();
    for (std::filesystem::path dir = start; !dir.empty(); dir = dir.parent_path()) {
        if (std::filesystem::exists(dir / "CMakeCache.txt"))
            return dir;
        if (dir == dir.root_path())
            break;
    }
    return start;
}

} // namespace

// Writes painters.png into the build tree: every registered style at five fractions, unselected and
// selected (on the selection background, as the tree view paints it), each with its percentage text.
TEST(PainterGallery, WritesEveryStyleToPng) {
    const double fractions[] = {0.0, 0.01, 0.25, 0.5, 1.0};
    constexpr int labelWidth = 110;
    constexpr int cellWidth = 112;
    constexpr int rowHeight = 20;
    const TQxBarChartPainterRegistry& registry = BarChartPainterRegistry();
    const int columns = 2 * static_cast<int>(std::size(fractions));
    QImage image(labelWidth + columns * cellWidth + 8, (registry.Count() + 1) * rowHeight + 8,
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter canvas(&image);
    canvas.setFont(QGuiApplication::font());
    canvas.setPen(Qt::black);
    canvas.drawText(QRect(4, 4, labelWidth, rowHeight), Qt::AlignVCenter, QStringLiteral("unselected"));
    canvas.drawText(QRect(4 + labelWidth + 5 * cellWidth, 4, labelWidth, rowHeight), Qt::AlignVCenter,
                    QStringLiteral("selected"));
    const QColor highlight = QGuiApplication::palette().color(QPalette::Highlight);
    for (int row = 0; row < registry.Count(); ++row) {
        const TQxBarChartPainterClass& painterClass = registry.Items(row);
        const std::unique_ptr<TQxBarChartPainter> painter = painterClass.Create();
        const int top = 4 + (row + 1) * rowHeight;
        canvas.setPen(Qt::black);
        canvas.drawText(QRect(4, top, labelWidth, rowHeight), Qt::AlignVCenter,
                        painterClass.GetPainterName());
        for (int column = 0; column < columns; ++column) {
            const bool selected = column >= static_cast<int>(std::size(fractions));
            const double fraction = fractions[column % std::size(fractions)];
            const QRect cell(4 + labelWidth + column * cellWidth, top, cellWidth - 4, rowHeight);
            if (selected)
                canvas.fillRect(cell, highlight);
            const QRect rect = cell.adjusted(1, 1, -1, -1);
            const QString text = FormatPercentText(fraction, QLocale::c());
            canvas.setBrush(Qt::NoBrush);
            if (selected)
                painter->PaintSelected(canvas, rect, text, fraction);
            else
                painter->Paint(canvas, rect, text, fraction);
        }
    }
    canvas.end();
    const std::filesystem::path target = BuildRoot() / "painters.png";
    ASSERT_TRUE(image.save(QString::fromStdString(target.string()), "PNG")) << target;
    EXPECT_GT(std::filesystem::file_size(target), 0u);
}
