#include "ScanProgress.h"

#include "i18n/Translation.h"
#include "model/SizeFormat.h"
#include "support/PrintableText.h"

#include <QList>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <sys/ioctl.h>
#include <unicode/uchar.h>
#include <unistd.h>

namespace quorvex {

namespace {

// The columns a terminal gives one code point: East Asian wide and full-width characters take two,
// combining marks and format characters none.
int CellWidth(char32_t point) {
    const auto width = u_getIntPropertyValue(static_cast<UChar32>(point), UCHAR_EAST_ASIAN_WIDTH);
    if (width == U_EA_WIDE || width == U_EA_FULLWIDTH)
        return 2;
    const auto category = u_charType(static_cast<UChar32>(point));
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || category == U_FORMAT_CHAR)
        return 0;
    return 1;
}

int CellWidth(const QList<uint>& points) {
    int total = 0;
    for (const uint point : points)
        total += CellWidth(static_cast<char32_t>(point));
    return total;
}

} // namespace

int TerminalColumns(const std::string& text) {
    return CellWidth(QString::fromStdString(text).toUcs4());
}

std::string TerminalText(const std::string& text, int width) {
    const QString shown = QString::fromStdString(PrintableText(text));
    const QList<uint> points = shown.toUcs4();
    if (CellWidth(points) <= width)
        return shown.toStdString();
    if (width < 5)
        return {};
    const int keep = width - 3;
    qsizetype head = 0;
    for (int used = 0; head < points.size() && used + CellWidth(points[head]) <= keep / 2; ++head)
        used += CellWidth(points[head]);
    qsizetype tail = 0;
    for (int used = 0;
         tail < points.size() - head && used + CellWidth(points[points.size() - 1 - tail]) <= keep - keep / 2;
         ++tail)
        used += CellWidth(points[points.size() - 1 - tail]);
    return (QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData()), head) + "..." +
            QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData() + points.size() - tail),
                              tail))
        .toStdString();
}

TScanProgress::TScanProgress(int fd) : fd_(fd), enabled_(::isatty(fd) == 1) {}

TScanProgress::~TScanProgress() {
    Finish();
}

void TScanProgress::Update(const std::string& directory, std::int64_t files, std::int64_t bytes,
                           double elapsedSeconds) {
    if (!enabled_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < kInterval)
        return;
    lastDraw_ = now;
    drawn_ = true;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", elapsedSeconds);
    std::string line = FormatCount(files) + " " + TranslateText("files") + ", " + FormatSizeTruncated(bytes) +
                       ", " + seconds + "  ";
    // The line must never wrap, or each redraw would leave a line behind.
    const int room = Columns() - 1 - TerminalColumns(line);
    line += TerminalText(directory, room);
    Write("\r" + line + "\x1b[K");
}

void TScanProgress::Finish() {
    if (enabled_ && drawn_)
        Write("\r\x1b[K");
    drawn_ = false;
}

void TScanProgress::Write(const std::string& text) const {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a display that cannot be drawn is not worth failing the scan for
        done += static_cast<std::size_t>(n);
    }
}

TScanProgressTicker::TScanProgressTicker(int fd, TSample sample) : progress_(fd), sample_(std::move(sample)) {
    if (!progress_.Enabled())
        return;
    timer_.setInterval(TScanProgress::kInterval);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Draw(); });
    Draw();
    timer_.start();
}

void TScanProgressTicker::Finish() {
    timer_.stop();
    progress_.Finish();
}

void TScanProgressTicker::Draw() {
    std::string directory;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    sample_(directory, files, bytes);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    progress_.Update(directory, files, bytes, elapsed.count());
}

int TScanProgress::Columns() const {
    winsize size{};
    if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace quorvex
