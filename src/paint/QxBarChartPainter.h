#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QPainter;

namespace quorvex {

// Draws the percentage bar of one tree-view cell. A painter keeps no state between calls beyond what
// it loaded when it was made, so one instance serves every row.
class TQxBarChartPainter {
public:
    TQxBarChartPainter() = default;
    TQxBarChartPainter(const TQxBarChartPainter&) = delete;
    TQxBarChartPainter& operator=(const TQxBarChartPainter&) = delete;
    virtual ~TQxBarChartPainter() = default;

    // `rect` is the cell's drawing area; `fraction` (0 to 1) its filled share; `text`, when not empty,
    // is drawn centred over the whole rectangle.
    virtual void Paint(QPainter& canvas, const QRect& rect, const QString& text, double fraction) = 0;
    virtual void PaintSelected(QPainter& canvas, const QRect& rect, const QString& text, double fraction) = 0;
};

// Nearest integer, halves to the even neighbour.
long long RoundHalfEven(long double value);

// `rect` with its width cut to Round(width x fraction). A fraction outside 0 to 1 (a share read while a
// scan still adds to the totals) or NaN is clamped first, so a bar never leaves its cell.
QRect GetBarRect(const QRect& rect, double fraction);
double ClampFraction(double fraction);

// One painter class as the registry knows it: the class's own name, its fixed display name and its
// factory.
struct TQxBarChartPainterClass {
    QString ClassName;
    QString PainterName;
    std::function<std::unique_ptr<TQxBarChartPainter>()> Factory;

    QString GetPainterName() const { return PainterName; }
    std::unique_ptr<TQxBarChartPainter> Create() const { return Factory(); }
};

// Descriptor of a painter class T that has a static GetPainterName().
template <typename T> TQxBarChartPainterClass PainterClassOf(const char* className) {
    return {QString::fromLatin1(className), T::GetPainterName(),
            [] { return std::unique_ptr<TQxBarChartPainter>(std::make_unique<T>()); }};
}

// The ordered list of painter classes. Filled once before any window exists and read-only afterwards;
// entries keep their addresses for the life of the registry.
class TQxBarChartPainterRegistry {
public:
    TQxBarChartPainterRegistry() = default;
    TQxBarChartPainterRegistry(const TQxBarChartPainterRegistry&) = delete;
    TQxBarChartPainterRegistry& operator=(const TQxBarChartPainterRegistry&) = delete;

    // Throws std::logic_error ("<name> ist bereits registriert!") when the display name is taken; the
    // class is then not added.
    void Register(TQxBarChartPainterClass painterClass);
    int Count() const { return static_cast<int>(classes_.size()); }
    // Throws std::out_of_range for an index outside 0 to Count() - 1.
    const TQxBarChartPainterClass& Items(int index) const;
    // Exact, case-sensitive display-name match; -1 when none.
    int IndexOfPainterName(const QString& painterName) const;
    const TQxBarChartPainterClass* FindByPainterName(const QString& painterName) const;
    // Class names match ignoring ASCII case.
    const TQxBarChartPainterClass* FindByClassName(const QString& className) const;
    // Replaces the list's contents by the display names in registration order, or sorted by the
    // user's locale ignoring case when `sorted` is set.
    void GetPainterNames(QStringList& names, bool sorted) const;

private:
    std::vector<std::unique_ptr<TQxBarChartPainterClass>> classes_;
};

// The process-wide registry, created on first use with the nine built-in painters in their order.
TQxBarChartPainterRegistry& BarChartPainterRegistry();

// Registers the nine built-in painters in their fixed order.
void RegisterBuiltInPainters(TQxBarChartPainterRegistry& registry);

} // namespace quorvex
