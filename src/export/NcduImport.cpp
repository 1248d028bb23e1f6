#include "export/NcduImport.h"

#include "export/JsonFileStream.h"
#include "export/JsonParseErrors.h"
#include "i18n/Translation.h"
#include "model/HardLinkSet.h"
#include "model/PackedFiles.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "support/PosixDir.h"
#include "support/Utilities.h"

#include <rapidjson/reader.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace quorvex {
namespace {

// Nesting allowed inside values we do not use (the metadata, unknown keys). Directory nesting is
// bounded by the tree it builds, not by this.
constexpr int kMaxSkipDepth = 64;
constexpr std::int64_t kMaxSize = std::numeric_limits<std::int64_t>::max();

// One entry's information object, as far as it has been read.
struct TEntry {
    std::string Name;
    bool HasName = false;
    std::int64_t Size = 0;
    std::optional<std::int64_t> AllocatedSize;
    // The file's identity, where the writer recorded it: the device is inherited from the directory
    // above when the entry has none of its own.
    std::optional<std::uint64_t> Device;
    std::optional<std::uint64_t> Inode;
    std::uint64_t Links = 0;
    std::int64_t ModifyTime = 0; // "mtime", written by extended scans only
    bool HasLinks = false;       // "hlnkc": the writer saw more than one name
    bool ReadError = false;
    bool NotRegular = false;
    std::string Excluded;

    // Keeps the strings' room for the next entry.
    void Reset() {
        Name.clear();
        HasName = false;
        Size = 0;
        AllocatedSize.reset();
        Device.reset();
        Inode.reset();
        Links = 0;
        ModifyTime = 0;
        HasLinks = false;
        ReadError = false;
        NotRegular = false;
        Excluded.clear();
    }
};

enum class TKey {
    Name,
    Asize,
    Dsize,
    Device,
    Inode,
    Links,
    ModifyTime,
    HasLinks,
    ReadError,
    NotRegular,
    Excluded,
    Other
};

// A key we use, with its text for messages: kept as a constant, so reading a key copies nothing.
struct TKnownKey {
    TKey Key;
    const char* Text;
};

TKnownKey KeyOf(std::string_view key) {
    static constexpr TKnownKey kKeys[] = {
        {TKey::Name, "name"},         {TKey::Asize, "asize"},          {TKey::Dsize, "dsize"},
        {TKey::Inode, "ino"},         {TKey::Links, "nlink"},          {TKey::Device, "dev"},
        {TKey::HasLinks, "hlnkc"},    {TKey::ReadError, "read_error"}, {TKey::NotRegular, "notreg"},
        {TKey::Excluded, "excluded"}, {TKey::ModifyTime, "mtime"},
    };
    for (const TKnownKey& known : kKeys) {
        if (key == known.Text)
            return known;
    }
    return {TKey::Other, ""};
}

// Builds the tree from the parser's events. Directories nest as arrays whose first element is the
// directory's own object; the stack of open directories lives on the heap, so the input's depth
// costs memory in proportion to the tree and never stack.
class TTreeBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TTreeBuilder> {
public:
    TTreeBuilder(TRootDirNode& root, TJsonFileStream& stream, std::int64_t threshold)
        : root_(root), stream_(stream), threshold_(threshold), hardLinks_(root.HardLinks()) {}

    const std::optional<std::string>& Fault() const { return fault_; }
    std::size_t FaultOffset() const { return faultOffset_; }
    bool Complete() const { return state_ == TState::End; }

    bool Null() { return Scalar(TValue{}); }
    bool Bool(bool b) { return Scalar(TValue{TValue::Bool, 0, b}); }
    bool Int(int i) { return Int64(i); }
    bool Uint(unsigned u) { return Uint64(u); }
    bool Int64(std::int64_t i) {
        if (i < 0)
            return Scalar(TValue{TValue::Negative});
        return Uint64(static_cast<std::uint64_t>(i));
    }
    bool Uint64(std::uint64_t u) { return Scalar(TValue{TValue::Number, u}); }
    // Fractions, exponents and integers beyond 64 bits all arrive here.
    bool Double(double) { return Scalar(TValue{TValue::Inexact}); }
    // Copied only where it is kept: a name straight into the entry, the reason of an exclusion.
    bool String(const char* text, rapidjson::SizeType length, bool) {
        if (state_ == TState::Value && skipDepth_ == 0) {
            if (key_ == TKey::Name)
                entry_.Name.assign(text, length);
            else if (key_ == TKey::Excluded)
                stringValue_.assign(text, length);
        }
        return Scalar(TValue{TValue::String});
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        stream_.Mark();
        if (skipDepth_ > 0)
            return true;
        const TKnownKey known = KeyOf({text, length});
        key_ = known.Key;
        keyText_ = known.Text;
        state_ = TState::Value;
        return true;
    }
    bool StartObject() {
        stream_.Mark();
        if (skipDepth_ > 0)
            return Nest();
        switch (state_) {
        case TState::Metadata:
            returnState_ = TState::RootArray;
            return Nest();
        case TState::DirInfo:
        case TState::DirBody:
            entry_.Reset();
            entryIsDirInfo_ = state_ == TState::DirInfo;
            state_ = TState::InEntry;
            return true;
        case TState::Value:
            return NestedValue();
        default:
            return Fail(TranslateText("unexpected object"));
        }
    }
    // An object or array as an entry's value: skipped whole under an unknown key, refused under ours.
    bool NestedValue() {
        if (key_ != TKey::Other)
            return Fail(Substitute(TranslateText("\"%s\" holds an object or array"), keyText_));
        returnState_ = TState::InEntry;
        return Nest();
    }
    bool EndObject(rapidjson::SizeType) {
        stream_.Mark();
        if (skipDepth_ > 0)
            return Unnest();
        // The parser pairs the brackets, so only an entry's own object can end here.
        return entryIsDirInfo_ ? OpenDirectory() : AddEntry();
    }
    bool StartArray() {
        stream_.Mark();
        if (skipDepth_ > 0)
            return Nest();
        switch (state_) {
        case TState::Start:
            state_ = TState::Major;
            return true;
        case TState::RootArray:
        case TState::DirBody:
            PushFrame();
            state_ = TState::DirInfo;
            return true;
        case TState::Value:
            return NestedValue();
        case TState::DirInfo:
            return Fail(TranslateText("a directory does not begin with its own object"));
        default:
            return Fail(TranslateText("unexpected array"));
        }
    }
    bool EndArray(rapidjson::SizeType) {
        stream_.Mark();
        if (skipDepth_ > 0)
            return Unnest();
        switch (state_) {
        case TState::DirBody:
            return CloseDirectory();
        case TState::Done:
            state_ = TState::End;
            return true;
        case TState::DirInfo:
            return Fail(TranslateText("a directory does not begin with its own object"));
        default:
            return Fail(TranslateText("the file ends its list before the root directory"));
        }
    }

private:
    enum class TState {
        Start,
        Major,
        Minor,
        Metadata,
        RootArray,
        DirInfo,
        DirBody,
        InEntry,
        Value,
        Done,
        End
    };

    struct TValue {
        enum TKind { None, Bool, Number, Negative, Inexact, String } Kind = None;
        std::uint64_t Number_ = 0;
        bool Flag = false;
    };

    // The totals of some files.
    struct TFileTotals {
        std::int64_t Size = 0;
        std::int64_t Allocated = 0;
        std::int32_t Count = 0;

        void Add(std::int64_t size, std::int64_t allocated) {
            Size += size;
            Allocated += allocated;
            ++Count;
        }
    };

    // The directory being read: its node once its own object is complete, the totals of what it
    // holds so far, and its own files, packed, which the directory keeps when it ends. Frames are
    // reused level by level, so the packing room of one directory serves the next at its depth.
    struct TFrame {
        TDirNode* Dir = nullptr;
        std::int64_t Size = 0;
        std::int64_t Allocated = 0;
        std::int64_t Files = 0;
        std::uint64_t Device = 0; // of the files here that do not name their own
        bool HasEntries = false;
        TFileTotals Own;   // every file directly in the directory
        TFileTotals Small; // those of them below the group threshold
        TPackedFilesWriter Packed;

        void Reset() {
            Dir = nullptr;
            Size = Allocated = Files = 0;
            Device = 0;
            HasEntries = false;
            Own = Small = TFileTotals{};
            Packed.Clear();
        }
    };

    TFrame& Top() { return frames_[depth_ - 1]; }

    void PushFrame() {
        if (depth_ == frames_.size())
            frames_.emplace_back();
        else
            frames_[depth_].Reset();
        ++depth_;
    }

    bool Fail(const std::string& message) {
        fault_ = message;
        faultOffset_ = stream_.Tell();
        return false;
    }

    bool Nest() {
        if (++skipDepth_ > kMaxSkipDepth)
            return Fail(TranslateText("values nested too deeply"));
        return true;
    }
    bool Unnest() {
        if (--skipDepth_ == 0)
            state_ = returnState_;
        return true;
    }

    bool Scalar(const TValue& value) {
        stream_.Mark();
        if (skipDepth_ > 0)
            return true;
        switch (state_) {
        case TState::Major:
            if (value.Kind != TValue::Number || value.Number_ != 1)
                return Fail(TranslateText("not a scan file of format version 1"));
            state_ = TState::Minor;
            return true;
        case TState::Minor:
            if (value.Kind != TValue::Number)
                return Fail(TranslateText("not a scan file of format version 1"));
            state_ = TState::Metadata;
            return true;
        case TState::Value:
            state_ = TState::InEntry;
            return Assign(value);
        case TState::Done:
            return Fail(TranslateText("unexpected value after the root directory"));
        default:
            return Fail(TranslateText("unexpected value"));
        }
    }

    std::optional<std::uint64_t> Count(const TValue& value) {
        if (value.Kind == TValue::Number)
            return value.Number_;
        if (value.Kind == TValue::Negative)
            Fail(Substitute(TranslateText("\"%s\" is negative"), keyText_));
        else if (value.Kind == TValue::Inexact)
            Fail(Substitute(TranslateText("\"%s\" is not a whole number of at most 64 bits"), keyText_));
        else
            Fail(Substitute(TranslateText("\"%s\" is not a number"), keyText_));
        return std::nullopt;
    }

    bool Assign(const TValue& value) {
        switch (key_) {
        case TKey::Name:
            if (value.Kind != TValue::String)
                return Fail(TranslateText("a name is not a string"));
            entry_.HasName = true;
            // Checked here, so that the offset points at the name itself.
            return CheckName(entryIsDirInfo_ && depth_ == 1);
        case TKey::Asize:
        case TKey::Dsize: {
            const auto n = Count(value);
            if (!n)
                return false;
            if (*n > static_cast<std::uint64_t>(kMaxSize))
                return Fail(Substitute(TranslateText("\"%s\" is beyond 63 bits"), keyText_));
            if (key_ == TKey::Asize) {
                entry_.Size = static_cast<std::int64_t>(*n);
            } else {
                entry_.AllocatedSize = static_cast<std::int64_t>(*n);
                allocatedSeen_ = true;
            }
            return true;
        }
        case TKey::Device:
        case TKey::Inode:
        case TKey::Links:
        case TKey::ModifyTime: {
            const auto n = Count(value);
            if (!n)
                return false;
            if (key_ == TKey::ModifyTime)
                entry_.ModifyTime = static_cast<std::int64_t>(std::min<std::uint64_t>(*n, kMaxSize));
            else if (key_ == TKey::Device)
                entry_.Device = *n;
            else if (key_ == TKey::Inode)
                entry_.Inode = *n;
            else
                entry_.Links = *n;
            return true;
        }
        case TKey::HasLinks:
        case TKey::ReadError:
        case TKey::NotRegular:
            if (value.Kind != TValue::Bool)
                return Fail(Substitute(TranslateText("\"%s\" is not true or false"), keyText_));
            if (key_ == TKey::HasLinks)
                entry_.HasLinks = value.Flag;
            else if (key_ == TKey::ReadError)
                entry_.ReadError = value.Flag;
            else if (key_ == TKey::NotRegular)
                entry_.NotRegular = value.Flag;
            return true;
        case TKey::Excluded:
            // Some writers mark an exclusion with true instead of its reason.
            if (value.Kind == TValue::String)
                entry_.Excluded = stringValue_.empty() ? "pattern" : stringValue_;
            else if (value.Kind == TValue::Bool)
                entry_.Excluded = value.Flag ? "pattern" : "";
            else
                return Fail(TranslateText("\"excluded\" is not a string"));
            return true;
        case TKey::Other:
            return true;
        }
        return true;
    }

    // A name must be one path component, or a path for the root.
    bool CheckName(bool isRoot) {
        const std::string& name = entry_.Name;
        if (!entry_.HasName || name.empty())
            return Fail(TranslateText("an entry without a name"));
        if (name.find('\0') != std::string::npos)
            return Fail(TranslateText("a name holds a NUL character"));
        if (isRoot)
            return true;
        if (name.find('/') != std::string::npos)
            return Fail(Substitute(TranslateText("the name \"%s\" holds a \"/\""), name));
        if (name == "." || name == "..")
            return Fail(Substitute(TranslateText("the name \"%s\" is not allowed"), name));
        return true;
    }

    static std::uint16_t NameAttributes(const std::string& name) { return name[0] == '.' ? faHidden : 0; }

    bool OpenDirectory() {
        const bool isRoot = depth_ == 1;
        if (!CheckName(isRoot))
            return false;
        TFrame& frame = Top();
        if (isRoot) {
            root_.SetName(entry_.Name);
            frame.Dir = &root_;
            frame.Device = entry_.Device.value_or(0);
            root_.SetDevice(frame.Device);
        } else {
            TFrame& parent = frames_[depth_ - 2];
            frame.Device = entry_.Device.value_or(parent.Device);
            parent.HasEntries = true;
            auto dir = std::make_unique<TDirNode>();
            dir->SetName(entry_.Name);
            dir->SetAttributes(faDirectory | NameAttributes(entry_.Name));
            frame.Dir = static_cast<TDirNode*>(parent.Dir->AddChild(std::move(dir)));
        }
        if (entry_.ReadError)
            frame.Dir->SetErrorCode(EIO);
        // Our history files record each directory's identity, so that a comparison knows a folder
        // renamed or moved since. Nothing acts on the disk through an imported tree.
        if (entry_.Inode)
            frame.Dir->SetIdentity(*entry_.Inode);
        state_ = TState::DirBody;
        return true;
    }

    bool AddTotals(TFrame& frame, std::int64_t size, std::int64_t allocated, std::int64_t files) {
        if (__builtin_add_overflow(frame.Size, size, &frame.Size) ||
            __builtin_add_overflow(frame.Allocated, allocated, &frame.Allocated))
            return Fail(TranslateText("the sizes add up to more than 63 bits"));
        frame.Files += files;
        if (frame.Files > std::numeric_limits<std::int32_t>::max())
            return Fail(TranslateText("a directory holds more than 2147483647 files"));
        return true;
    }

    bool AddEntry() {
        if (!CheckName(false))
            return false;
        state_ = TState::DirBody;
        TFrame& frame = Top();
        frame.HasEntries = true;
        // A file system the writer did not enter is a directory with nothing counted, as a scan shows
        // a mount point below its root.
        const std::string& why = entry_.Excluded;
        if (why == "otherfs" || why == "othfs" || why == "kernfs") {
            TDirNode* dir = AddDirNode(frame.Dir, entry_.Name, faDirectory | faReparsePoint);
            dir->SetFlag(nfEmpty, false);
            dir->SetFlag(nfFilesListed, true);
            return true;
        }
        // Anything else the writer excluded (a pattern, say) it neither entered nor counted; nor do we,
        // as our own scan with the same patterns leaves such entries out.
        if (!why.empty())
            return true;
        // Writers leave the allocated size out where it is 0 (a symbolic link, say); only a file that
        // has none anywhere leaves it unknown.
        const std::int64_t allocated = entry_.AllocatedSize.value_or(0);
        if (!entry_.AllocatedSize)
            allocatedMissing_ = true;
        TPackedFile file;
        file.Name = entry_.Name;
        file.Size = entry_.Size;
        file.AllocatedSize = allocated;
        file.ModifyTime = entry_.ModifyTime;
        file.Attributes =
            static_cast<std::uint16_t>(NameAttributes(entry_.Name) | (entry_.NotRegular ? faSystem : 0));
        // A writer that records identities marks the files with several names; one without "nlink"
        // still says there are at least two.
        if (entry_.Inode && (entry_.HasLinks || entry_.Links > 1)) {
            file.Device = entry_.Device.value_or(frame.Device);
            file.Inode = *entry_.Inode;
            file.Links = std::max<std::uint64_t>(entry_.Links, 2);
            // Counting once, later names are kept, at their size, but add nothing, as in a scan.
            if (hardLinks_ != nullptr && !hardLinks_->Insert(static_cast<dev_t>(file.Device),
                                                             static_cast<ino_t>(file.Inode), frame.Dir)) {
                file.Attributes |= kCountedAtAnotherName;
                frame.Packed.Add(file);
                return true;
            }
        }
        if (!AddTotals(frame, entry_.Size, allocated, 1))
            return false;
        frame.Packed.Add(file);
        frame.Own.Add(entry_.Size, allocated);
        if (entry_.Size < threshold_)
            frame.Small.Add(entry_.Size, allocated);
        return true;
    }

    // The directory ends as a finished scan leaves it: its own files and file group counted, a
    // group of one dissolved, the files not listed yet, so that expanding it makes their nodes from
    // the packed list. Then its totals are final and go to its parent.
    bool CloseDirectory() {
        TFrame& frame = Top();
        TDirNode* dir = frame.Dir;
        TFileTotals own = frame.Own;
        if (frame.Small.Count >= 2) {
            TFileGroupNode* group = dir->GetFileGroup();
            group->AddFileCount(frame.Small.Count);
            group->AddSize(frame.Small.Size, frame.Small.Allocated);
            group->AddOwnFiles(frame.Small.Count, frame.Small.Size, frame.Small.Allocated);
            own.Count -= frame.Small.Count;
            own.Size -= frame.Small.Size;
            own.Allocated -= frame.Small.Allocated;
        } else if (frame.Small.Count == 1) {
            dir->SetFlag(nfNoFileGroup, true);
        }
        dir->AddOwnFiles(own.Count, own.Size, own.Allocated);
        if (frame.Packed.Count() > 0) {
            static_cast<TDirNode*>(dir)->SetFiles(TPackedFiles(frame.Packed));
        }
        dir->SetFlag(nfEmpty, !frame.HasEntries);
        dir->SetSize(frame.Size);
        dir->SetAllocatedSize(frame.Allocated);
        dir->SetFileCount(static_cast<std::int32_t>(frame.Files));
        --depth_;
        if (depth_ == 0) {
            root_.SetFlag(nfAllocatedUnknown, allocatedMissing_ && !allocatedSeen_);
            state_ = TState::Done;
            return true;
        }
        return AddTotals(Top(), frame.Size, frame.Allocated, frame.Files);
    }

    TRootDirNode& root_;
    TJsonFileStream& stream_;
    std::int64_t threshold_;
    THardLinkSet* hardLinks_;
    bool allocatedSeen_ = false;
    bool allocatedMissing_ = false;
    TState state_ = TState::Start;
    TState returnState_ = TState::Start;
    int skipDepth_ = 0;
    TKey key_ = TKey::Other;
    const char* keyText_ = "";
    std::string stringValue_;
    TEntry entry_;
    bool entryIsDirInfo_ = false;
    std::vector<TFrame> frames_;
    std::size_t depth_ = 0;
    std::optional<std::string> fault_;
    std::size_t faultOffset_ = 0;
};

class TDescriptor {
public:
    explicit TDescriptor(int fd) : fd_(fd) {}
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    ~TDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int Get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void Raise(const std::string& fileName, const std::string& what, std::uint64_t offset) {
    std::string message = Substitute(TranslateText("%s: not a readable scan file"), fileName);
    message =
        message + ": " + what + " (" + Substitute(TranslateText("at byte %s"), std::to_string(offset)) + ")";
    throw EImportError(message, offset);
}

} // namespace

std::unique_ptr<TRootDirNode> ImportNcduFile(const std::string& fileName, std::int64_t groupThreshold,
                                             bool hardLinksOnce) {
    const TDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        throw EImportError(fileName + ": " + SystemErrorMessage(errno), 0);

    auto root = std::make_unique<TRootDirNode>();
    root->SetGroupThreshold(groupThreshold);
    root->SetFlag(nfImported, true);
    root->SetHardLinksOnce(hardLinksOnce);
    TJsonFileStream stream(fd.Get());
    TTreeBuilder builder(*root, stream, groupThreshold);
    rapidjson::Reader reader;
    const rapidjson::ParseResult result = reader.Parse<rapidjson::kParseIterativeFlag>(stream, builder);
    if (builder.Fault())
        Raise(fileName, *builder.Fault(), builder.FaultOffset());
    if (stream.ReadError() != 0)
        Raise(fileName, SystemErrorMessage(stream.ReadError()), stream.Tell());
    if (!stream.CompressionError().empty())
        Raise(fileName, stream.CompressionError(), stream.Tell());
    if (stream.TokenTooLong())
        Raise(fileName, TranslateText("a value longer than 1 MiB"), stream.Tell());
    if (result.IsError())
        Raise(fileName, ParseErrorText(result.Code()), result.Offset());
    if (!builder.Complete())
        Raise(fileName, TranslateText("the file ends before the root directory"), stream.Tell());
    return root;
}

bool IsImportedTree(const TRootDirNode& root) {
    return root.HasFlag(nfImported);
}

} // namespace quorvex
