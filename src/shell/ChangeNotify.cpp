#include "shell/ChangeNotify.h"

#include "diag/QxLogger.h"
#include "shell/ChangeNotifyMonitor.h"

#include <QCoreApplication>

#include <stdexcept>

namespace quorvex {
namespace {

// Length of the valid UTF-8 sequence at `at`, or 0.
std::size_t Utf8SequenceLength(const std::string& s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef)
        length = 3;
    else if (lead >= 0xf0 && lead <= 0xf4)
        length = 4;
    if (length == 0 || at + length > s.size())
        return 0;
    for (std::size_t i = at + 1; i < at + length; ++i) {
        if ((byte(i) & 0xc0) != 0x80)
            return 0;
    }
    const unsigned char second = byte(at + 1);
    if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f) ||
        (lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second > 0x8f))
        return 0; // overlong, surrogate or beyond U+10FFFF
    return length;
}

// Changes the case of the decodable parts of a file name only: a byte that is no UTF-8 would come
// back from a QString as a replacement character, naming another file.
std::string ChangeCase(const std::string& path, bool upper) {
    std::string out;
    out.reserve(path.size());
    std::size_t i = 0;
    while (i < path.size()) {
        std::size_t end = i;
        while (end < path.size()) {
            const std::size_t length = Utf8SequenceLength(path, end);
            if (length == 0)
                break;
            end += length;
        }
        if (end > i) {
            const QString text = QString::fromUtf8(path.data() + i, static_cast<qsizetype>(end - i));
            out += (upper ? text.toUpper() : text.toLower()).toStdString();
            i = end;
        } else {
            out += path[i++];
        }
    }
    return out;
}

} // namespace

TSHChangeNotify::TSHChangeNotify(QObject* owner) : QObject(owner) {}

TSHChangeNotify::~TSHChangeNotify() {
    Deregister();
}

void TSHChangeNotify::SetMessageNo(std::uint32_t messageNo) {
    if (messageNo < kMinMessageNo)
        throw std::invalid_argument("MessageNo must be greater than or equal to " +
                                    std::to_string(kMinMessageNo));
    if (messageNo > kMaxMessageNo)
        throw std::invalid_argument("MessageNo must be less than or equal to " +
                                    std::to_string(kMaxMessageNo));
    messageNo_ = messageNo;
}

void TSHChangeNotify::Register() {
    Deregister();
    std::uint32_t mask = 0;
    if (onDriveAdd_)
        mask |= kShellEventDriveAdd;
    if (onDriveRemoved_)
        mask |= kShellEventDriveRemoved;
    mask_ = mask;
    if (mask == 0)
        return;
    // Changes are posted rather than handled at once, so that every notification takes the same way
    // in, under MessageNo, whoever raised it.
    auto monitor = std::make_unique<TMountTableMonitor>(
        mountTablePath_, [this](TMountTableMonitor::TChange change, const std::string& mountPoint) {
            const std::uint32_t code =
                change == TMountTableMonitor::TChange::Added ? kShellEventDriveAdd : kShellEventDriveRemoved;
            if ((mask_ & code) != 0)
                QCoreApplication::postEvent(this, new TShellNotifyEvent(messageNo_, code, mountPoint));
        });
    if (!monitor->Start()) {
        ProgramLogger().info("drive changes cannot be watched: " + mountTablePath_ + " unreadable");
        return;
    }
    monitor_ = std::move(monitor);
}

void TSHChangeNotify::Deregister() {
    monitor_.reset();
}

bool TSHChangeNotify::IsRegistered() const {
    return monitor_ != nullptr;
}

bool TSHChangeNotify::event(QEvent* event) {
    if (static_cast<std::uint32_t>(event->type()) != messageNo_)
        return QObject::event(event);
    const auto* notification = static_cast<const TShellNotifyEvent*>(event);
    Notify(notification->Code & ~kShellEventInterruptMarker, notification->Path1, notification->Path2);
    return true;
}

void TSHChangeNotify::Notify(std::uint32_t code, const std::string& path1, const std::string& path2) {
    const TOneParmEvent* handler = nullptr;
    if (code == kShellEventDriveAdd && onDriveAdd_)
        handler = &onDriveAdd_;
    else if (code == kShellEventDriveRemoved && onDriveRemoved_)
        handler = &onDriveRemoved_;
    if (handler == nullptr)
        return;
    const auto upper = [](const std::string& path) { return ChangeCase(path, true); };
    const bool repeat =
        code == lastEvent_ && upper(path1) == upper(lastPath1_) && upper(path2) == upper(lastPath2_);
    lastEvent_ = code;
    lastPath1_ = path1;
    lastPath2_ = path2;
    if (!repeat)
        (*handler)(*this, code, ApplyTextCase(path1));
}

std::string TSHChangeNotify::ApplyTextCase(const std::string& path) const {
    switch (textCase_) {
    case TTextCase::tcUppercase:
        return ChangeCase(path, true);
    case TTextCase::tcLowercase:
        return ChangeCase(path, false);
    case TTextCase::tcAsIs:
        break;
    }
    return path;
}

} // namespace quorvex
