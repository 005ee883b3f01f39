// yEnc attachments: a whole file in one article, or one piece of a file
// split over several. Sizes and CRCs are checked; a post whose numbers do
// not add up is damaged and keeps nothing.

#include <algorithm>
#include <cstdio>
#include <string>

#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
#include "decode/MimeStructure.h"
#include "decode/OutputFile.h"
#include "decode/Yenc.h"
#include "platform/Sync.h"

namespace ng {

namespace {

std::string Hex(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// What the first yEnc block of an article held, decoded into a file.
struct YencBlock {
    YencBegin begin;
    std::optional<YencPart> part;
    std::optional<YencEnd> end;  // nullopt: the article stopped before "=yend"
    int64_t bytes = 0;
    uint32_t crc = 0;
    int error = 0;
    bool found = false;
};

YencBlock DecodeBlock(const ArticleLines& lines, const DecodeTarget& target) {
    YencBlock block;
    OutputFile out;
    out.Attach(target.fd);
    out.HashInto(target.digest);
    YencLineDecoder decoder;
    size_t i = 0;
    for (; i < lines.Size() && !block.found; ++i) {
        if (auto begin = ParseYbegin(lines[i])) {
            block.begin = *begin;
            block.found = true;
        }
    }
    if (i < lines.Size() && (block.part = ParseYpart(lines[i]))) {
        ++i;
    }
    if (!block.part) {
        block.part = block.begin.range;
    }
    // Room for the bytes the header promises, reserved at once (the numbers
    // are only a hint: they are checked against what is decoded).
    if (block.part && block.part->begin >= 1 && block.part->end >= block.part->begin) {
        out.ExpectSize(static_cast<uint64_t>(block.part->end - block.part->begin + 1));
    } else if (!block.part && block.begin.size > 0) {
        out.ExpectSize(static_cast<uint64_t>(block.begin.size));
    }
    // Lines are decoded into a batch of room and the CRC is taken over the
    // whole batch: taken line by line, its setup cost more than the decoding.
    constexpr size_t kBatch = 64 * 1024;
    unsigned char* room = nullptr;
    size_t capacity = 0;
    size_t used = 0;
    auto handOver = [&] {
        block.crc = Crc32(block.crc, room, used);
        block.bytes += static_cast<int64_t>(used);
        const int error = used > 0 ? out.Commit(used) : 0;
        capacity = used = 0;
        return error;
    };
    for (; block.found && i < lines.Size(); ++i) {
        const std::string_view line = lines[i];
        if (target.pause && i % 64 == 0) {
            target.pause->WaitWhilePaused();
        }
        if (line.starts_with("=y") && (block.end = ParseYend(line))) {
            break;
        }
        if (capacity - used < line.size()) {
            if ((block.error = handOver()) != 0) {
                return block;
            }
            capacity = std::max(kBatch, line.size());
            room = out.Claim(capacity);
        }
        used += decoder.Decode(line, room + used);
    }
    if ((block.error = handOver()) != 0) {
        return block;
    }
    block.error = out.Close();
    return block;
}

// The checks every block passes: a complete block whose sizes agree and
// whose part checksum, when given, matches.
std::string BlockDamage(const YencBlock& block) {
    if (!block.end) {
        return "no =yend line: the post is cut short";
    }
    if (block.end->size != block.bytes) {
        return "=yend size " + std::to_string(block.end->size) + ", decoded " +
               std::to_string(block.bytes) + " bytes";
    }
    if (block.part && block.end->pcrc32 && *block.end->pcrc32 != block.crc) {
        return "part CRC " + Hex(block.crc) + ", expected " + Hex(*block.end->pcrc32);
    }
    return {};
}

class YencFormat final : public AttachmentFormat {
public:
    void Reset() override {
        m_bFound = false;
        m_bPart = false;
        m_part = {};
        m_bEnded = false;
        m_strName.clear();
        m_bGuessed = false;
        m_bNamed = false;
    }

    LineNote Notice(std::string_view line) override {
        LineNote note;
        if (m_bFound) {
            // Up to "=yend" every line is the body's.
            m_bEnded = m_bEnded || line.starts_with("=yend");
            note.dataLine = !m_bEnded;
            return note;
        }
        if (!line.starts_with("=ybegin")) {
            return note;
        }
        if (auto begin = ParseYbegin(line)) {
            m_bFound = true;
            // Part 1 of 1 is how some posters write every whole file.
            m_bPart = begin->part > 0 && begin->total != 1;
            m_part = {std::string(), begin->size, begin->part, begin->total};
            note.restartCount = true;
            note.name = AttachmentName(begin->name, &note.extensionGuessed);
            note.shown = *note.name;
            m_strName = *note.name;
            m_bGuessed = note.extensionGuessed;
            m_bNamed = !begin->name.empty();
            m_part.name = m_strName;
        }
        return note;
    }

    // Before the header only "=ybegin" counts, after "=yend" nothing; in
    // between every line is data up to "=yend".
    size_t QuietLines(const LineRun& run, size_t first, size_t last) const override {
        if (m_bFound) {
            return m_bEnded ? last - first : 0;
        }
        return run.CountWhile(first, last,
                              [](std::string_view line) { return !line.starts_with("=ybegin"); });
    }
    size_t DataLines(const LineRun& run, size_t first, size_t last) const override {
        if (!m_bFound || m_bEnded) {
            return 0;
        }
        return run.CountWhile(first, last,
                              [](std::string_view line) { return !line.starts_with("=yend"); });
    }

    bool Found() const override { return m_bFound; }
    bool FoundWhole() const override { return m_bFound && !m_bPart; }
    std::optional<FilePart> FoundPart() const override {
        if (!m_bFound || !m_bPart || !m_bNamed || m_part.size <= 0) {
            return std::nullopt;
        }
        return m_part;
    }
    bool ClaimsArticle() const override { return m_bFound; }

    // The article's first yEnc block is its one file. (Lines handed over
    // without being noticed are looked through here.)
    void FindIn(const ArticleLines& lines, const MimeLeaf& leaf,
                std::vector<Attachment>& found) override {
        if (m_bFound) {
            found.push_back({this, leaf.begin, leaf.end, m_strName, m_bGuessed, m_bNamed});
            return;
        }
        for (size_t i = lines.LineAt(leaf.begin); i < lines.Size(); ++i) {
            if (auto begin = ParseYbegin(lines[i])) {
                Attachment& a = found.emplace_back();
                a.format = this;
                a.begin = leaf.begin;
                a.end = leaf.end;
                a.name = AttachmentName(begin->name, &a.extensionGuessed);
                a.named = !begin->name.empty();
                return;
            }
        }
    }

    using AttachmentFormat::Decode;
    DecodeStatus Decode(const ArticleLines& lines, const Attachment&,
                        const DecodeTarget& target) override {
        YencBlock block = DecodeBlock(lines, target);
        if (block.error != 0) {
            return {block.error, {}};
        }
        if (std::string damage = BlockDamage(block); !damage.empty()) {
            return DecodeStatus::Damaged(damage);
        }
        if (block.begin.size != block.bytes) {
            return DecodeStatus::Damaged(
                block.part ? "only part " + std::to_string(block.begin.part) + " of its file"
                           : "=ybegin size " + std::to_string(block.begin.size) + ", decoded " +
                                 std::to_string(block.bytes) + " bytes");
        }
        // A single part checks its bytes with pcrc32; a whole file with crc32.
        std::optional<uint32_t> expected = block.end->crc32 ? block.end->crc32 : block.end->pcrc32;
        if (expected && *expected != block.crc) {
            return DecodeStatus::Damaged("CRC " + Hex(block.crc) + ", expected " + Hex(*expected));
        }
        return {};
    }

    DecodeStatus DecodePiece(const ArticleLines& lines, const DecodeTarget& target,
                             Piece& piece) override {
        YencBlock block = DecodeBlock(lines, target);
        if (block.error != 0) {
            return {block.error, {}};
        }
        if (!block.found) {
            return DecodeStatus::Damaged("no yEnc data");
        }
        if (std::string damage = BlockDamage(block); !damage.empty()) {
            return DecodeStatus::Damaged(damage);
        }
        piece.name = AttachmentName(block.begin.name, &piece.extensionGuessed);
        piece.bytes = block.bytes;
        piece.fileSize = block.begin.size;
        piece.fileCrc = block.end->crc32;
        piece.part = block.begin.part;
        piece.total = block.begin.total;
        if (!block.part) {
            return DecodeStatus::Damaged("no =ypart line");
        }
        const YencPart& range = *block.part;
        if (range.begin < 1 || range.end < range.begin ||
            (block.begin.size >= 0 && range.end > block.begin.size)) {
            return DecodeStatus::Damaged("part range " + std::to_string(range.begin) + "-" +
                                         std::to_string(range.end) + " outside the file");
        }
        if (range.end - range.begin + 1 != block.bytes) {
            return DecodeStatus::Damaged("part range " + std::to_string(range.begin) + "-" +
                                         std::to_string(range.end) + " holds " +
                                         std::to_string(block.bytes) + " bytes");
        }
        piece.offset = range.begin - 1;
        return {};
    }

private:
    bool m_bFound = false;
    bool m_bPart = false;   // the header names a part number
    FilePart m_part;        // ... and this is what it says
    bool m_bEnded = false;  // "=yend" was seen
    std::string m_strName;  // the first header's
    bool m_bGuessed = false;
    bool m_bNamed = false;
};

}  // namespace

std::unique_ptr<AttachmentFormat> MakeYencFormat() {
    return std::make_unique<YencFormat>();
}

}  // namespace ng
