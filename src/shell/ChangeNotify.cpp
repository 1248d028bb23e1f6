#include "shell/ChangeNotify.h"

#include "diag/QxLogger.h"
#include "shell/ChangeNotifyMonitor.h"
#include "support/PathText.h"

#include <QCoreApplication>

#include <stdexcept>

namespace quorvex {

TSHChangeNotify::TSHChangeNotify(QObject* owner) : QObject(owner) {}

TSHChangeNotify::~TSHChangeNotify() {
    Deregister();
}

void TSHChangeNotify::SetMessageNo(std::uint32_t messageNo) {
    if (messageNo < kMinMessageNo)
        throw std::invalid_argument("MessageNo must be greater than or equal to " + std::to_string(kMinMessageNo));
    if (messageNo > kMaxMessageNo)
        throw std::invalid_argument("MessageNo must be less than or equal to " + std::to_string(kMaxMessageNo));
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
            const std::uint32_t code = change == TMountTableMonitor::TChange::Added ? kShellEventDriveAdd
                                                                                    : kShellEventDriveRemoved;
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
    const auto upper = [](const std::string& path) { return DecodePath(path).toUpper(); };
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
        return EncodePath(DecodePath(path).toUpper());
    case TTextCase::tcLowercase:
        return EncodePath(DecodePath(path).toLower());
    case TTextCase::tcAsIs:
        break;
    }
    return path;
}

} // namespace quorvex
