#pragma once

// The parsed form of one dat, shared by the listinfo and the XML reader. Strings
// are kept as spans into the file's own bytes (or, for decoded strings, into a
// small side buffer), so that reading a dat allocates per game and per rom, never
// per character, and every game keeps the byte range it came from.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zfe::zandorel {

enum class DatFormat { Listinfo, Xml };

// A string of the dat: an offset and length into Dat::text while a reader
// works on it, or into Dat::decoded.
struct Span {
    std::uint32_t offset = 0;
    std::uint32_t length : 31 = 0;
    std::uint32_t inDecoded : 1 = 0;

    bool empty() const { return length == 0; }
};

enum EntryFlag : std::uint8_t {
    kEntryDisk = 1,
    kEntryNoDump = 2,
    kEntryHasSize = 4,
    kEntryHasCrc = 8,
    kEntryMerged = 16,  // shared with the parent or BIOS under a merge name
    kEntryMd5 = 32,     // the hash is an md5, not a sha1
};

// A rom or a disk of a game: only what identifies it, as a large dat has
// hundreds of thousands of them. Of its hashes the sha1 is kept, else the md5.
struct Entry {
    Span name;
    Span hash;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    // The bytes that leave the game's block when the entry is left out of a
    // compact dat: its whole line when it stands on a line of its own.
    std::uint32_t cutBegin = 0;
    std::uint32_t cutEnd = 0;
    std::uint8_t flags = 0;

    bool isDisk() const { return flags & kEntryDisk; }
    bool isNoDump() const { return flags & kEntryNoDump; }
    bool hasSize() const { return flags & kEntryHasSize; }
    bool hasCrc() const { return flags & kEntryHasCrc; }
    bool isMerged() const { return flags & kEntryMerged; }
    bool hasSha1() const { return !hash.empty() && !(flags & kEntryMd5); }
    bool hasMd5() const { return !hash.empty() && (flags & kEntryMd5); }

    void setMerged(bool merged) {
        flags = static_cast<std::uint8_t>(merged ? flags | kEntryMerged : flags & ~kEntryMerged);
    }
    void setSha1(Span value) {
        if (value.empty()) return;
        hash = value;
        flags = static_cast<std::uint8_t>(flags & ~kEntryMd5);
    }
    // Taken only where the entry has no sha1.
    void setMd5(Span value) {
        if (value.empty() || hasSha1()) return;
        hash = value;
        flags |= kEntryMd5;
    }
};

// A game, resource or machine block.
struct Game {
    Span name;
    Span cloneOf;
    Span romOf;
    // What the game is, for the report; empty where the dat does not say.
    Span description;
    Span year;
    Span manufacturer;
    Span driverStatus;  // as the dat gives it: "good", "imperfect", "preliminary", ...
    // The block's bytes in Dat::text, whole lines where the block has its lines
    // to itself, so that the block can be copied as it stands.
    std::uint32_t blockBegin = 0;
    std::uint32_t blockEnd = 0;
    std::uint32_t firstEntry = 0;
    std::uint32_t entryCount = 0;
    // The machines that the game names as its devices (XML's device_ref), as
    // indices into Dat::deviceNames in Dat::deviceRefs; and where in its block
    // the first of them starts (its line, when it has one of its own).
    std::uint32_t firstDeviceRef = 0;
    std::uint32_t deviceRefCount = 0;
    std::uint32_t deviceRefsAt = 0;
};

// Where the header of a dat names it, so that a diff dat made from the dat can
// name itself instead: byte ranges and places of the text before its first game.
struct HeaderFields {
    enum class Kind : std::uint8_t {
        None,      // no header before the first game
        Listinfo,  // a clrmamepro ( ... ) block
        Datafile,  // an XML <header> element
    };
    struct Field {
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
        bool found = false;
        // XML: the range is the whole element (<name/>), not its content.
        bool wholeElement = false;
    };
    Kind kind = Kind::None;
    // Listinfo: the value's token, quotes included. XML: the element's content
    // (name, description) or the attribute's value between its quotes
    // (forcemerging).
    Field name;
    Field description;
    Field forceMerging;
    std::uint32_t afterOpen = 0;  // after "clrmamepro (", or after the <header> start tag
    std::uint32_t afterName = 0;  // after the name's value, or after the name element
};

// A game dropped because an earlier game has the same name.
struct DuplicateGame {
    std::string name;
    std::uint32_t offset = 0;       // of the dropped block
    std::uint32_t firstOffset = 0;  // of the block that was kept
};

// Memory for the dat's large tables and for a file read whole, filled a large
// page at a time where the system can: a fault per small page of fresh memory
// costs more than the data that goes in. Which way a block was had depends on
// its size alone, so it goes back the same way.
void* allocateLarge(std::size_t bytes);
void releaseLarge(void* memory, std::size_t bytes) noexcept;

template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(std::size_t count) { return static_cast<T*>(allocateLarge(count * sizeof(T))); }
    void deallocate(T* memory, std::size_t count) noexcept {
        releaseLarge(memory, count * sizeof(T));
    }
    template <class U>
    bool operator==(const LargeAllocator<U>&) const noexcept {
        return true;
    }
};

template <class T>
using LargeVector = std::vector<T, LargeAllocator<T>>;
using LargeString = std::basic_string<char, std::char_traits<char>, LargeAllocator<char>>;

// Gives back the pages of [from, to) of a block had from allocateLarge, where the
// system can: touched again they read as zeros.
void discardLarge(void* memory, std::size_t bytes, std::size_t from, std::size_t to) noexcept;

// A file's bytes, in memory that is not zero-filled first (that would be one
// more pass over a file of hundreds of megabytes), followed by a NUL byte that
// stops the readers' loops over names and blanks without a bounds check. The bytes of a file may be
// had through an owner that reads them as a pass goes through them and lets
// them go behind it, and that tells whether they still are the file's.
class Bytes {
public:
    class Owner {
    public:
        virtual ~Owner() = default;
        virtual bool unchanged() const = 0;
        // Where a pass through the bytes has got to: the bytes from `offset` on,
        // a step ahead, are wanted now, those well before it are not.
        virtual void passed(std::size_t offset) = 0;
        // Whether every byte stays in memory from the first pass on.
        virtual bool whole() const = 0;
        // The bytes [begin, end) read again into `scratch`. Throws DatError.
        virtual std::string_view readAgain(std::size_t begin, std::size_t end,
                                           std::string& scratch) const = 0;
    };

    Bytes() : data_(nullptr, Release{0}) {}
    explicit Bytes(std::size_t size);
    explicit Bytes(std::string_view text) : Bytes(text.size()) {
        if (size_ > 0) text.copy(data_.get(), size_);
    }
    // Bytes in memory of `owner`'s own (a mapping of the file), readable while
    // it lives, with the NUL after them, and never written.
    Bytes(const char* bytes, std::size_t size, std::unique_ptr<Owner> owner)
        : data_(const_cast<char*>(bytes), Release{0, false}),
          size_(size),
          owner_(std::move(owner)) {}

    char* data() { return data_.get(); }
    std::size_t size() const { return size_; }
    void shrink(std::size_t size) { size_ = size < size_ ? size : size_; }
    void setOwner(std::unique_ptr<Owner> owner) { owner_ = std::move(owner); }
    // During the first pass, the bytes about where passed() was last told.
    std::string_view view() const { return {data_.get(), size_}; }
    bool unchanged() const { return owner_ == nullptr || owner_->unchanged(); }
    void passed(std::size_t offset) const {
        if (owner_ != nullptr) owner_->passed(offset);
    }
    // The bytes [begin, end) at any time: in memory, or read again into
    // `scratch`. Throws DatError when the file no longer has them.
    std::string_view range(std::size_t begin, std::size_t end, std::string& scratch) const {
        if (owner_ != nullptr && !owner_->whole()) return owner_->readAgain(begin, end, scratch);
        return view().substr(begin, end - begin);
    }

private:
    struct Release {
        std::size_t size;
        bool owned = true;
        void operator()(char* data) const noexcept {
            if (owned) releaseLarge(data, size);
        }
    };
    std::unique_ptr<char[], Release> data_;
    std::size_t size_ = 0;
    std::unique_ptr<Owner> owner_;
};

struct Dat {
    std::string path;  // as given, for messages
    DatFormat format = DatFormat::Listinfo;
    Bytes storage;
    // The file's bytes in storage: whole while the dat is read from memory; for
    // a dat streamed from its file, only about where the reader is. After the
    // reading, storage.range() gives any of them.
    std::string_view text;
    // The dat's own copies of the strings that the sets are made of (names and
    // hashes), unescaped where the file escapes them: the text itself is only
    // gone through once, and then for the blocks that are copied.
    LargeString decoded;
    LargeVector<Game> games;
    LargeVector<Entry> entries;
    std::vector<DuplicateGame> duplicates;
    HeaderFields header;
    // Whether the readers take the games' device_refs, which only full
    // non-merged sets need; each name the games give is kept once.
    bool readDevices = false;
    std::vector<Span> deviceNames;
    LargeVector<std::uint32_t> deviceRefs;
    std::string lineEnd = "\n";  // the file's own line end, for blocks the writer adds
    // Where the last game block ends, duplicates included: the dat's trailer
    // starts there.
    std::uint32_t gamesEnd = 0;

    // The games by name without regard to case: an open-addressing table of
    // game indices, so that it stays valid when the Dat moves.
    std::vector<std::uint32_t> nameTable;

    std::string_view view(Span span) const {
        const std::string_view source = span.inDecoded ? std::string_view(decoded) : text;
        return source.substr(span.offset, span.length);
    }

    std::optional<std::uint32_t> findGame(std::string_view name) const;
    // Makes the table of names once the games are read, and sets gamesEnd.
    void indexGames();
    // The string, copied into `decoded` when it is still a span of the text.
    Span own(Span span);
    // `value` (from the text at `offset`, for the message when the dat's
    // strings run out of room) copied into `decoded`.
    Span keep(std::string_view value, std::size_t offset);
    // Appends a device_ref of the game being read to deviceRefs: the index of
    // `name` (from the text at `offset`) in deviceNames, where it is added the
    // first time that the dat names it.
    void addDeviceRef(std::string_view name, std::size_t offset);

private:
    // The names looked up as device_refs come: an open-addressing table of
    // indices into deviceNames, each with bits of its name's hash that tell most
    // other names apart, and the names side by side, where a look-up finds them
    // in the processor's cache (in `decoded` they lie far apart).
    struct DeviceSlot {
        std::uint32_t id;
        std::uint32_t check;
    };
    std::vector<DeviceSlot> deviceNameTable_;
    // A few times the devices of a real dat (about 6,000), so that few of them
    // share a place: at 4,096 places the keyed look-up still took half the time.
    static constexpr std::size_t kRecentDevices = 16384;
    std::vector<std::uint32_t> recentDevices_;
    std::vector<std::uint64_t> deviceNameHashes_;
    std::string deviceNameText_;
    std::vector<std::uint32_t> deviceNameEnds_;
};

struct TextPosition {
    std::uint32_t line = 1;
    std::uint32_t column = 1;
};

// Where the line after the one that holds `from` starts; npos on the last
// line. A line ends with LF, CRLF or a lone CR.
std::size_t nextLineStart(std::string_view text, std::size_t from);

// Line and column (both from 1, column in bytes) of a byte offset.
TextPosition positionOf(std::string_view text, std::size_t offset);
// The same for many offsets, in ascending order, in one pass that reads the
// bytes a piece at a time.
std::vector<TextPosition> positionsOf(const Bytes& bytes, const std::vector<std::size_t>& sorted);

// The input stopped making sense: the file, where, and why.
class DatError : public std::runtime_error {
public:
    DatError(std::string path, TextPosition position, std::string reason);
    // An error with no position in the text (a file that cannot be read).
    DatError(std::string path, std::string reason);

    const std::string& path() const { return path_; }
    bool hasPosition() const { return hasPosition_; }
    TextPosition position() const { return position_; }
    const std::string& reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
    TextPosition position_;
    bool hasPosition_ = false;
};

DatFormat detectFormat(std::string_view text);

// Whether this build can read XML dats.
bool xmlSupported();

// ASCII case folding, for names that are matched without regard to case.
inline char foldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool equalsFolded(std::string_view a, std::string_view b);
int compareFolded(std::string_view a, std::string_view b);
// Keyed anew in every run, so that no input can be made to collide in the
// tables keyed by what it holds.
std::size_t hashFolded(std::string_view text);

// SipHash-1-3 of words under the run's key, for hashes of more than one string.
class KeyedHash {
public:
    KeyedHash();
    void add(std::uint64_t word);
    void add(std::string_view text) { add(static_cast<std::uint64_t>(hashFolded(text))); }
    std::uint64_t value() const;

private:
    std::uint64_t v0_, v1_, v2_, v3_;
};

// 64 bits that differ from run to run and from call to call.
std::uint64_t freshRandom();

}  // namespace zfe::zandorel
