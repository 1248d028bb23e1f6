#include "diag/QxProfiler.h"

#include <QLocale>
#include <QLoggingCategory>

#include <chrono>
#include <cstdio>

// Qt reads the last part of a rule as the message type, so "quorvex.debug=true" names the category
// "quorvex" and its debug messages: the category must be "quorvex" for that documented switch to work.
Q_LOGGING_CATEGORY(quorvexDebug, "quorvex", QtWarningMsg)

namespace quorvex {

TLLProfiler::TLLProfiler() : frequency_(1'000'000'000) {}

std::int64_t TLLProfiler::Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int TLLProfiler::IndexOfTimer(std::int32_t id) const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < timers_.size(); ++i) {
        if (timers_[i]->ID == id)
            return static_cast<int>(i);
    }
    return -1;
}

void TLLProfiler::StartTimer(std::int32_t id) {
    const int index = IndexOfTimer(id);
    std::lock_guard lock(mutex_);
    TLLTimer* timer = nullptr;
    if (index < 0) {
        timers_.push_back(std::make_unique<TLLTimer>());
        timer = timers_.back().get();
        timer->ID = id;
    } else {
        timer = timers_[static_cast<std::size_t>(index)].get();
    }
    timer->StartTicks = Now();
}

std::int64_t TLLProfiler::StopTimer(std::int32_t id) {
    const std::int64_t now = Now();
    const int index = IndexOfTimer(id);
    if (index < 0) {
        char text[96];
        std::snprintf(text, sizeof text, "Es wurde kein Timer mir der ID %d gestartet", id);
        throw ETimerException(text);
    }
    std::lock_guard lock(mutex_);
    TLLTimer& timer = *timers_[static_cast<std::size_t>(index)];
    timer.StopTicks = now;
    return timer.StopTicks - timer.StartTicks;
}

TLLProfiler& GlobalProfiler() {
    static TLLProfiler profiler;
    return profiler;
}

void StartTimer(std::int32_t id) {
    GlobalProfiler().StartTimer(id);
}

double ElapsedSeconds(std::int32_t id) {
    try {
        auto& profiler = GlobalProfiler();
        if (profiler.Frequency() <= 0)
            return 0.0;
        return static_cast<double>(profiler.StopTimer(id)) / static_cast<double>(profiler.Frequency());
    } catch (const std::exception&) {
        return 0.0;
    }
}

std::string FormatElapsed(const std::string& label, double seconds) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QString number = locale.toString(seconds, 'f', 3);
    // "0.0##": keep at least one decimal, drop trailing zeros beyond it.
    const QString point = locale.decimalPoint();
    const qsizetype dot = number.indexOf(point);
    if (dot >= 0) {
        while (number.size() > dot + point.size() + 1 && number.endsWith(u'0'))
            number.chop(1);
    }
    return label + ": " + number.toStdString() + " s";
}

void LogElapsed(std::int32_t id, const std::string& label) {
    qCDebug(quorvexDebug).noquote() << QString::fromStdString(FormatElapsed(label, ElapsedSeconds(id)));
}

} // namespace quorvex
