#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace quorvex {

// The busy cursor while the window's thread does one long thing (an export, reading a scan file),
// restored however it ends.
class TBusyCursor {
public:
    TBusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
    ~TBusyCursor() { QGuiApplication::restoreOverrideCursor(); }
};

} // namespace quorvex
