#pragma once

#include <QEvent>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quorvex {

class TMountTableMonitor;

enum class TTextCase : std::uint8_t { tcAsIs, tcUppercase, tcLowercase };

// Shell event codes. Only the drive events have a source on Linux (the mount table); the other
// codes of the family, for files, media, shares and associations, are never raised here.
constexpr std::uint32_t kShellEventDriveRemoved = 0x80;
constexpr std::uint32_t kShellEventDriveAdd = 0x100;
// Set on notifications raised at interrupt level; not part of the event code.
constexpr std::uint32_t kShellEventInterruptMarker = 0x80000000;

// One notification as delivered to a TSHChangeNotify: its event type is the component's MessageNo.
class TShellNotifyEvent : public QEvent {
public:
    TShellNotifyEvent(std::uint32_t messageNo, std::uint32_t code, std::string path1, std::string path2 = {})
        : QEvent(static_cast<QEvent::Type>(messageNo)), Code(code), Path1(std::move(path1)),
          Path2(std::move(path2)) {}

    std::uint32_t Code;
    std::string Path1;
    std::string Path2;
};

// Turns the system's notifications about drives into events carrying the drive's mount point, on the
// owner's thread. An immediate repeat of a notification (same code, paths equal ignoring case) is
// dropped.
class TSHChangeNotify : public QObject {
    Q_OBJECT
public:
    using TOneParmEvent =
        std::function<void(TSHChangeNotify& sender, std::uint32_t flags, const std::string& path1)>;

    static constexpr std::uint32_t kMinMessageNo = 1024;
    // The highest event type Qt hands out to applications.
    static constexpr std::uint32_t kMaxMessageNo = QEvent::MaxUser;

    explicit TSHChangeNotify(QObject* owner);
    ~TSHChangeNotify() override;
    TSHChangeNotify(const TSHChangeNotify&) = delete;
    TSHChangeNotify& operator=(const TSHChangeNotify&) = delete;

    std::uint32_t MessageNo() const { return messageNo_; }
    // Throws std::invalid_argument, leaving the value, below kMinMessageNo or above kMaxMessageNo.
    void SetMessageNo(std::uint32_t messageNo);
    TTextCase TextCase() const { return textCase_; }
    void SetTextCase(TTextCase textCase) { textCase_ = textCase; }

    void SetOnDriveAdd(TOneParmEvent handler) { onDriveAdd_ = std::move(handler); }
    void SetOnDriveRemoved(TOneParmEvent handler) { onDriveRemoved_ = std::move(handler); }

    // Subscribes to the codes of the assigned events; with none assigned nothing is watched. Without a
    // readable mount table (no /proc) the events simply never fire.
    void Register();
    void Deregister();
    bool IsRegistered() const;
    // The codes the last Register subscribed to.
    std::uint32_t EventMask() const { return mask_; }

    // Exposed for tests: the mount table watched.
    void SetMountTablePath(std::string path) { mountTablePath_ = std::move(path); }

protected:
    bool event(QEvent* event) override;

private:
    void Notify(std::uint32_t code, const std::string& path1, const std::string& path2);
    std::string ApplyTextCase(const std::string& path) const;

    std::uint32_t messageNo_ = kMinMessageNo;
    TTextCase textCase_ = TTextCase::tcAsIs;
    TOneParmEvent onDriveAdd_;
    TOneParmEvent onDriveRemoved_;
    std::uint32_t mask_ = 0;
    std::string mountTablePath_ = "/proc/self/mountinfo";
    std::unique_ptr<TMountTableMonitor> monitor_;
    std::uint32_t lastEvent_ = 0;
    std::string lastPath1_;
    std::string lastPath2_;
};

} // namespace quorvex
