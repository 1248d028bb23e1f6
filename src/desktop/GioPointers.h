#pragma once

#include <gio/gio.h>

#include <memory>

namespace quorvex {

// Owners for what GIO hands out; private to the desktop library, which alone sees GIO.
struct TFreeError {
    void operator()(GError* error) const { g_error_free(error); }
};
using TErrorPtr = std::unique_ptr<GError, TFreeError>;
struct TUnrefObject {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using TFilePtr = std::unique_ptr<GFile, TUnrefObject>;

} // namespace quorvex
