// newsgleaner-make-samples: writes a folder of sample articles for the sample
// news server, with JPEG pictures it draws and encodes itself.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Arguments.h"
#include "make-samples/JpegEncoder.h"
#include "make-samples/Pictures.h"
#include "make-samples/Spool.h"
#include "make-samples/TextEncodings.h"
#include "make-samples/TodayGroup.h"

namespace {

using namespace ngsample;

const char kSamplesGroup[] = "alt.binaries.pictures.samples";
const char kMoreGroup[] = "alt.binaries.pictures.more";
const char kTextGroup[] = "misc.test";
const char kBenchGroup[] = "alt.binaries.pictures.bench";
const char kPoster[] = "Sample Poster <poster@example.invalid>";
const char kHost[] = "sample.invalid";

// Picture articles should be 500..2500 body lines, inside the reader's
// default size filter (500..3000, or 500..2500 as its setup dialog offers):
// 45 bytes per uu line and 57 per base64 line, plus a few lines of text.
constexpr std::size_t kMinUuBytes = 26000;
constexpr std::size_t kMinBase64Bytes = 31000;
constexpr std::size_t kMinYencBytes = 66000;  // 128 bytes per line
constexpr std::size_t kMaxPictureBytes = 100000;

enum class Encoding { Text, Uu, Base64, Yenc };

struct Options {
    std::string dir;
    int pictures = 8;
    int largeCount = 0;
    long largeSize = 500000;
    Encoding largeEncoding = Encoding::Uu;
    std::string largeGroup = kBenchGroup;
    bool quiet = false;
    bool today = false;
    int todayPictures = 150;
    long seed = 1;
};

enum class SizeGoal {
    Normal,   // inside the default line range
    Small,    // deliberately below it
    DotLine,  // uu whose last data line carries 14 bytes, so it begins with "."
};

struct ManifestEntry {
    std::string group;
    int number;
    Encoding encoding;
    std::string file;
    std::size_t bytes;
    std::uint32_t crc;
    std::size_t bodyLines;
    bool part;  // one article of a post split over several
};

const char* EncodingName(Encoding e) {
    switch (e) {
        case Encoding::Uu:
            return "uu";
        case Encoding::Base64:
            return "base64";
        case Encoding::Yenc:
            return "yenc";
        default:
            return "text";
    }
}

void Usage(FILE* to) {
    std::fprintf(
        to,
        "usage: newsgleaner-make-samples DIR [--pictures N]\n"
        "           [--large-count N --large-size BYTES]\n"
        "           [--large-encoding uu|base64|yenc] [--large-group NAME] [--quiet]\n"
        "Writes DIR/<group>/<number> article files for newsgleaner-sample-server:\n"
        "  %s  N pictures (default 8) and a few text articles\n"
        "  %s     more pictures: yEnc, posts of several articles,\n"
        "                                   one crossposted\n"
        "  %s                      text only\n"
        "  %s    with --large-count: N files of BYTES random bytes\n"
        "                                   each (default 500000) after a JPEG header,\n"
        "                                   uuencoded, base64 (a MIME part) or yEnc as\n"
        "                                   --large-encoding says; --large-group renames it\n"
        "Also DIR/manifest.txt (what was written) and DIR/.originals/ (the pictures).\n"
        "\n"
        "       newsgleaner-make-samples DIR --today [--today-pictures N] [--seed S] [--quiet]\n"
        "Writes instead a day of today's posts to\n"
        "  %s and %s (crossposts):\n"
        "N distinct pictures a reader wants (default 150, %d to %d) in yEnc of one or\n"
        "several articles, MIME and uu, among archives, par2 files, a video and talk.\n"
        "DIR/%s says what each article is; DIR/.originals/ holds\n"
        "the files. The same seed (default 1) gives the same bytes.\n",
        kSamplesGroup, kMoreGroup, kTextGroup, kBenchGroup, kTodayGroup, kTodayMoreGroup,
        kTodayMinPictures, kTodayMaxPictures, kTodayManifest);
}

bool ParseEncoding(const std::string& text, Encoding* encoding) {
    for (Encoding e : {Encoding::Uu, Encoding::Base64, Encoding::Yenc}) {
        if (text == EncodingName(e)) {
            *encoding = e;
            return true;
        }
    }
    return false;
}

// The group is a folder of DIR: one plain name, never a path.
bool GoodGroupName(const std::string& name) {
    return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        long value = 0;
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            std::exit(0);
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--today") {
            options.today = true;
        } else if (arg == "--today-pictures" && i + 1 < argc &&
                   ngtools::ParseLong(argv[i + 1], kTodayMinPictures, kTodayMaxPictures, &value)) {
            options.todayPictures = static_cast<int>(value);
            ++i;
        } else if (arg == "--seed" && i + 1 < argc &&
                   ngtools::ParseLong(argv[i + 1], 0, 1L << 40, &value)) {
            options.seed = value;
            ++i;
        } else if (arg == "--pictures" && i + 1 < argc &&
                   ngtools::ParseLong(argv[i + 1], 0, 500, &value)) {
            options.pictures = static_cast<int>(value);
            ++i;
        } else if (arg == "--large-count" && i + 1 < argc &&
                   ngtools::ParseLong(argv[i + 1], 0, 100000, &value)) {
            options.largeCount = static_cast<int>(value);
            ++i;
        } else if (arg == "--large-size" && i + 1 < argc &&
                   ngtools::ParseLong(argv[i + 1], 1, 100L * 1024 * 1024, &value)) {
            options.largeSize = value;
            ++i;
        } else if (arg == "--large-encoding" && i + 1 < argc &&
                   ParseEncoding(argv[i + 1], &options.largeEncoding)) {
            ++i;
        } else if (arg == "--large-group" && i + 1 < argc && GoodGroupName(argv[i + 1])) {
            options.largeGroup = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && options.dir.empty()) {
            options.dir = arg;
        } else {
            std::fprintf(stderr, "newsgleaner-make-samples: bad argument %s\n", arg.c_str());
            Usage(stderr);
            std::exit(2);
        }
    }
    if (options.dir.empty()) {
        Usage(stderr);
        std::exit(2);
    }
    return options;
}

// Article dates step forward from a fixed moment, so that the output is the
// same on every run.
std::string SampleDate(int minutesLater) {
    return DateText(1717243200 + static_cast<std::time_t>(minutesLater) * 60);  // 2024-06-01 12:00
}

std::string GroupTag(const std::string& group) {
    return group.substr(group.rfind('.') + 1);
}

Article NewArticle(const std::string& newsgroups, const std::string& subject,
                   const std::string& messageId, int minutesLater) {
    Article article;
    article.headers = {{"Path", std::string(kHost) + "!not-for-mail"},
                       {"From", kPoster},
                       {"Newsgroups", newsgroups},
                       {"Subject", subject},
                       {"Date", SampleDate(minutesLater)},
                       {"Message-ID", messageId}};
    return article;
}

// Puts a COM segment right after the JFIF header (SOI + APP0 = 20 bytes).
std::string WithComment(const std::string& jpeg, const std::string& text) {
    std::string segment = "\xFF\xFE";
    std::size_t length = text.size() + 2;
    segment.push_back(static_cast<char>(length >> 8));
    segment.push_back(static_cast<char>(length & 0xFF));
    segment += text;
    return jpeg.substr(0, 20) + segment + jpeg.substr(20);
}

// Makes the article a MIME message of two parts, as a poster's program sends
// a picture: `about` as text, then the file in base64.
void MakeMime(Article& article, const std::string& boundary, const std::string& about,
              const std::string& type, const std::string& name, std::string_view data) {
    article.headers.push_back({"MIME-Version", "1.0"});
    article.headers.push_back({"Content-Type", "multipart/mixed; boundary=\"" + boundary + "\""});
    article.body = {"This is a multi-part message in MIME format.",
                    "",
                    "--" + boundary,
                    "Content-Type: text/plain; charset=us-ascii",
                    "Content-Transfer-Encoding: 7bit",
                    "",
                    about,
                    "",
                    "--" + boundary,
                    "Content-Type: " + type + "; name=\"" + name + "\"",
                    "Content-Transfer-Encoding: base64",
                    "Content-Disposition: attachment; filename=\"" + name + "\"",
                    ""};
    for (std::string& line : Base64Lines(data)) {
        article.body.push_back(std::move(line));
    }
    article.body.push_back("");
    article.body.push_back("--" + boundary + "--");
}

struct PictureSpec {
    std::string name;
    PictureKind kind;
    int width;
    int height;
    int variant;
    Encoding encoding;
    SizeGoal goal;
    int parts = 1;  // articles the post is split over
};

std::string KindName(PictureKind kind) {
    switch (kind) {
        case PictureKind::Sunset:
            return "sunset";
        case PictureKind::Checkers:
            return "checkers";
        case PictureKind::Circles:
            return "circles";
        case PictureKind::Number:
            return "number";
        case PictureKind::Bars:
            return "bars";
        case PictureKind::Waves:
            return "waves";
    }
    return "picture";
}

// The i-th picture (from 1) of the samples group. The first eight cover
// every kind, both encodings, the dot line and a small picture; later ones
// repeat the pattern with other colours.
PictureSpec SamplePicture(int i) {
    static const PictureKind kKinds[8] = {
        PictureKind::Sunset, PictureKind::Checkers, PictureKind::Circles,  PictureKind::Number,
        PictureKind::Bars,   PictureKind::Waves,    PictureKind::Checkers, PictureKind::Number};
    static const int kSizes[8][2] = {{640, 480}, {480, 360}, {800, 600}, {400, 300},
                                     {320, 240}, {800, 600}, {200, 150}, {640, 480}};
    int slot = (i - 1) % 8;
    PictureSpec spec;
    spec.kind = kKinds[slot];
    spec.width = kSizes[slot][0];
    spec.height = kSizes[slot][1];
    spec.variant = i;
    spec.encoding = i % 2 == 0 ? Encoding::Base64 : Encoding::Uu;
    spec.goal = i == 3 ? SizeGoal::DotLine : i == 7 ? SizeGoal::Small : SizeGoal::Normal;
    char name[64];
    std::snprintf(name, sizeof name, "%s-%02d.jpg", KindName(spec.kind).c_str(), i);
    spec.name = name;
    return spec;
}

// Draws and encodes a picture, adding grain (or lowering the quality) until
// its size suits the goal.
std::string MakeJpeg(const PictureSpec& spec) {
    const std::string comment = "Newsgleaner sample picture " + spec.name;
    std::size_t minBytes = spec.goal == SizeGoal::Small        ? 0
                           : spec.encoding == Encoding::Base64 ? kMinBase64Bytes
                           : spec.encoding == Encoding::Yenc   ? kMinYencBytes
                                                               : kMinUuBytes;
    static const int kGrain[] = {0, 3, 6, 10, 16, 24, 36, 50, 70, 96};
    static const int kQualities[] = {75, 85, 92, 97};
    std::string jpeg;
    bool done = false;
    for (int quality : kQualities) {
        for (int grain : kGrain) {
            RgbImage image = Render(spec.kind, spec.width, spec.height, spec.variant);
            AddGrain(image, grain, 0x5A17ull * static_cast<std::uint64_t>(spec.variant) + 1);
            jpeg = EncodeJpeg(image, quality);
            if (jpeg.size() >= minBytes) {
                done = true;
                break;
            }
        }
        if (done) {
            break;
        }
    }
    for (int quality = 70; jpeg.size() > kMaxPictureBytes && quality >= 30; quality -= 10) {
        RgbImage image = Render(spec.kind, spec.width, spec.height, spec.variant);
        jpeg = EncodeJpeg(image, quality);
    }
    std::string text = comment;
    if (spec.goal == SizeGoal::DotLine) {
        // Pad the comment so that size % 45 == 14: the last uu line then
        // starts with the length character for 14, which is ".".
        std::size_t size = jpeg.size() + 4 + text.size();
        text.append((14 + 45 - size % 45) % 45, '.');
    }
    return WithComment(jpeg, text);
}

class SampleWriter {
public:
    explicit SampleWriter(const Options& options) : m_options(options) {}

    void WriteAll() {
        MakeDir(m_options.dir);
        MakeDir(OriginalsDir());
        ClearArticles(OriginalsDir(), true);
        WriteSamplesGroup();
        WriteMoreGroup();
        WriteTextGroup();
        if (m_options.largeCount > 0) {
            WriteBenchGroup();
        }
        WriteManifest();
    }

private:
    std::string OriginalsDir() const { return m_options.dir + "/.originals"; }

    void StartGroup(const std::string& group) {
        MakeDir(m_options.dir + "/" + group);
        ClearArticles(m_options.dir + "/" + group, false);
    }

    std::string MessageId(const std::string& group, int number) const {
        return "<" + GroupTag(group) + "." + std::to_string(number) + "@" + kHost + ">";
    }

    void Store(const std::string& group, int number, const Article& article, Encoding encoding,
               const std::string& file, const std::string& data, const char* eol = "\n") {
        WriteBytes(m_options.dir + "/" + group + "/" + std::to_string(number),
                   Serialize(article, eol));
        m_manifest.push_back({group, number, encoding, file.empty() ? "-" : file, data.size(),
                              Crc32(data), article.body.size(), false});
    }

    Article TextArticle(const std::string& group, int number, const std::string& subject,
                        std::vector<std::string> body) {
        Article article = NewArticle(group, subject, MessageId(group, number), ++m_minutes);
        article.body = std::move(body);
        return article;
    }

    // A picture article in the given encoding. newsgroups may list several
    // groups for a crosspost; xref then names the numbers in each.
    Article PictureArticle(const PictureSpec& spec, const std::string& jpeg,
                           const std::string& newsgroups, const std::string& messageId,
                           const std::string& xref) {
        const std::string subject = spec.encoding == Encoding::Yenc
                                        ? "Sample picture - \"" + spec.name + "\" yEnc (1/1)"
                                        : spec.name + " (1/1)";
        Article article = NewArticle(newsgroups, subject, messageId, ++m_minutes);
        if (!xref.empty()) {
            article.headers.push_back({"Xref", xref});
        }
        std::string about = "A " + KindName(spec.kind) + " test picture, " +
                            std::to_string(spec.width) + "x" + std::to_string(spec.height) + ", " +
                            std::to_string(jpeg.size()) + " bytes.";
        if (spec.encoding == Encoding::Yenc) {
            article.body = {about, ""};
            for (std::string& line : YencLines({jpeg, 0, jpeg.size()}, spec.name)) {
                article.body.push_back(std::move(line));
            }
            return article;
        }
        if (spec.encoding == Encoding::Uu) {
            article.body = {about, ""};
            for (std::string& line : UuEncodeLines(jpeg, spec.name)) {
                article.body.push_back(std::move(line));
            }
            return article;
        }
        MakeMime(article, "----=_sample_part_" + std::to_string(m_minutes), about, "image/jpeg",
                 spec.name, jpeg);
        return article;
    }

    void StorePicture(const std::string& group, int number, const PictureSpec& spec,
                      const std::string& jpeg, const std::string& newsgroups = {},
                      const std::string& messageId = {}, const std::string& xref = {}) {
        Article article =
            PictureArticle(spec, jpeg, newsgroups.empty() ? group : newsgroups,
                           messageId.empty() ? MessageId(group, number) : messageId, xref);
        Store(group, number, article, spec.encoding, spec.name, jpeg);
        WriteBytes(OriginalsDir() + "/" + spec.name, jpeg);
    }

    // A picture posted as spec.parts articles, given the numbers in the order
    // they appear in the group. yEnc parts carry their byte range; uu parts
    // are consecutive pieces of one uuencoded text, cut at line ends.
    void StorePost(const std::string& group, const std::vector<int>& numbers,
                   const PictureSpec& spec, const std::string& jpeg) {
        const int parts = spec.parts;
        std::vector<std::string> uu;
        if (spec.encoding == Encoding::Uu) {
            uu = UuEncodeLines(jpeg, spec.name);
        }
        for (int part = 1; part <= parts; ++part) {
            const int number = numbers[static_cast<std::size_t>(part - 1)];
            const std::string counter =
                "(" + std::to_string(part) + "/" + std::to_string(parts) + ")";
            Article article;
            if (spec.encoding == Encoding::Yenc) {
                article =
                    NewArticle(group, "Sample panorama - \"" + spec.name + "\" yEnc " + counter,
                               MessageId(group, number), ++m_minutes);
                const std::size_t size = jpeg.size();
                article.body =
                    YencLines({jpeg, size * static_cast<std::size_t>(part - 1) / parts,
                               size * static_cast<std::size_t>(part) / parts, part, parts},
                              spec.name);
            } else {
                article = NewArticle(group, spec.name + " " + counter, MessageId(group, number),
                                     ++m_minutes);
                const std::size_t from = uu.size() * static_cast<std::size_t>(part - 1) / parts;
                const std::size_t to = uu.size() * static_cast<std::size_t>(part) / parts;
                article.body.assign(uu.begin() + static_cast<std::ptrdiff_t>(from),
                                    uu.begin() + static_cast<std::ptrdiff_t>(to));
            }
            WriteBytes(m_options.dir + "/" + group + "/" + std::to_string(number),
                       Serialize(article, "\n"));
            m_manifest.push_back({group, number, spec.encoding, spec.name, jpeg.size(), Crc32(jpeg),
                                  article.body.size(), true});
        }
        WriteBytes(OriginalsDir() + "/" + spec.name, jpeg);
    }

    void WriteSamplesGroup() {
        const std::string group = kSamplesGroup;
        StartGroup(group);
        int number = 1;
        Store(group, number,
              TextArticle(group, number, "Welcome to " + group,
                          {"This group holds sample pictures, uuencoded and",
                           "MIME encoded, drawn by newsgleaner-make-samples.", "", "Enjoy."}),
              Encoding::Text, "", "");
        for (int i = 1; i <= m_options.pictures; ++i) {
            PictureSpec spec = SamplePicture(i);
            std::string jpeg = MakeJpeg(spec);
            ++number;
            if (i == 1) {
                m_crosspost = spec;
                m_crosspostJpeg = jpeg;
                m_crosspostNumber = number;
            } else {
                StorePicture(group, number, spec, jpeg);
            }
            if (i == 2) {
                std::string about = MessageId(group, number);
                ++number;
                Article reply = TextArticle(group, number, "Re: " + spec.name + " (1/1)",
                                            {"> A " + KindName(spec.kind) + " test picture", "",
                                             "Nice colours. Any more of these?"});
                reply.headers.push_back({"References", about});
                Store(group, number, reply, Encoding::Text, "", "");
            }
        }
        ++number;
        Store(group, number,
              TextArticle(group, number, "Request: more sunsets please",
                          {"Does anyone have more sunsets?", "", "Thanks."}),
              Encoding::Text, "", "");
    }

    void WriteMoreGroup() {
        const std::string group = kMoreGroup;
        StartGroup(group);
        int number = 1;
        Store(group, number,
              TextArticle(group, number, "Welcome to " + group,
                          {"More sample pictures. One of them is crossposted",
                           "from " + std::string(kSamplesGroup) + "."}),
              Encoding::Text, "", "");
        const PictureSpec more[] = {
            {"dusk-01.jpg", PictureKind::Sunset, 560, 420, 11, Encoding::Base64, SizeGoal::Normal},
            {"rings-02.jpg", PictureKind::Circles, 600, 450, 12, Encoding::Uu, SizeGoal::Normal},
            {"digits-42.jpg", PictureKind::Number, 480, 360, 42, Encoding::Uu, SizeGoal::Normal},
            {"mosaic-03.jpg", PictureKind::Checkers, 360, 270, 13, Encoding::Base64,
             SizeGoal::Normal}};
        for (const PictureSpec& spec : more) {
            ++number;
            StorePicture(group, number, spec, MakeJpeg(spec));
        }
        // Today's posts: yEnc, and pictures split over several articles,
        // one with its parts out of order in the group.
        const PictureSpec dawn{"dawn-04.jpg",  PictureKind::Sunset, 720, 540, 14,
                               Encoding::Yenc, SizeGoal::Normal};
        ++number;
        StorePicture(group, number, dawn, MakeJpeg(dawn));
        PictureSpec panorama{"panorama-05.jpg", PictureKind::Waves, 960, 540, 15,
                             Encoding::Yenc,    SizeGoal::Normal,   3};
        StorePost(group, {number + 2, number + 1, number + 3}, panorama, MakeJpeg(panorama));
        number += 3;
        PictureSpec tiles{"tiles-06.jpg", PictureKind::Checkers, 640, 480, 16,
                          Encoding::Uu,   SizeGoal::Normal,      2};
        StorePost(group, {number + 1, number + 2}, tiles, MakeJpeg(tiles));
        number += 2;
        if (m_options.pictures >= 1) {
            // The first sample picture, posted to both groups at once: one
            // article, one message identifier, a number in each group.
            ++number;
            std::string both = std::string(kSamplesGroup) + "," + group;
            std::string xref = std::string(kHost) + " " + kSamplesGroup + ":" +
                               std::to_string(m_crosspostNumber) + " " + group + ":" +
                               std::to_string(number);
            std::string id = MessageId(kSamplesGroup, m_crosspostNumber);
            StorePicture(kSamplesGroup, m_crosspostNumber, m_crosspost, m_crosspostJpeg, both, id,
                         xref);
            StorePicture(group, number, m_crosspost, m_crosspostJpeg, both, id, xref);
        }
        ++number;
        Store(group, number,
              TextArticle(group, number, "Re: rings-02.jpg (1/1)",
                          {"Those rings make my eyes water."}),
              Encoding::Text, "", "");
    }

    void WriteTextGroup() {
        const std::string group = kTextGroup;
        StartGroup(group);
        // Stored with CR LF line ends, as some spools keep them.
        const char* crlf = "\r\n";
        Store(group, 1, TextArticle(group, 1, "Welcome to misc.test", {"Text only here."}),
              Encoding::Text, "", "", crlf);
        Store(group, 2,
              TextArticle(group, 2, "Dot test",
                          {"Lines that begin with a dot follow.", ".", ".hidden", "..two dots",
                           "The end."}),
              Encoding::Text, "", "", crlf);
        Store(group, 3, TextArticle(group, 3, "Just testing", {"ignore", "", "-- ", "tester"}),
              Encoding::Text, "", "", crlf);
    }

    // Random bytes behind the start of a JPEG (SOI and a JFIF APP0), so that
    // a base64 decoder takes them for a picture as it would a real post's.
    void WriteBenchGroup() {
        static const unsigned char kJpegStart[20] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',
                                                     'F',  'I',  'F',  0x00, 0x01, 0x01, 0x00,
                                                     0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
        const std::string& group = m_options.largeGroup;
        const Encoding encoding = m_options.largeEncoding;
        StartGroup(group);
        Store(group, 1,
              TextArticle(group, 1, "Welcome to " + group,
                          {std::string("Large ") + EncodingName(encoding) +
                           " files of random bytes, for timing."}),
              Encoding::Text, "", "");
        Random random(0xBE9C4ull);
        std::string data(static_cast<std::size_t>(m_options.largeSize), '\0');
        for (int i = 1; i <= m_options.largeCount; ++i) {
            for (std::size_t k = 0; k < data.size(); k += 8) {
                std::uint64_t v = random.Next();
                for (std::size_t b = 0; b < 8 && k + b < data.size(); ++b) {
                    data[k + b] = static_cast<char>(v >> (8 * b));
                }
            }
            std::memcpy(data.data(), kJpegStart, std::min(data.size(), sizeof kJpegStart));
            char name[64];
            std::snprintf(name, sizeof name, "bench-%04d.bin", i);
            int number = i + 1;
            const std::string id = MessageId(group, number);
            Article article;
            if (encoding == Encoding::Yenc) {
                article =
                    NewArticle(group, std::string("Bench - \"") + name + "\" yEnc (1/1)", id, i);
                article.body = YencLines({data, 0, data.size()}, name);
            } else {
                article = NewArticle(group, std::string(name) + " (1/1)", id, i);
                if (encoding == Encoding::Base64) {
                    MakeMime(article, "----=_bench_part_" + std::to_string(i),
                             "Random bytes for timing.", "application/octet-stream", name, data);
                } else {
                    article.body = UuEncodeLines(data, name);
                }
            }
            Store(group, number, article, encoding, name, data);
        }
    }

    void WriteManifest() {
        std::sort(m_manifest.begin(), m_manifest.end(), [](const auto& a, const auto& b) {
            return a.group != b.group ? a.group < b.group : a.number < b.number;
        });
        // A part of a larger post shows as "yenc-part" or "uu-part"; its file
        // columns are those of the whole picture.
        std::string text = "# group\tnumber\tencoding\tfile\tfile bytes\tcrc32\tbody lines\n";
        for (const ManifestEntry& e : m_manifest) {
            char crc[16];
            std::snprintf(crc, sizeof crc, "%08x", e.crc);
            text += e.group + "\t" + std::to_string(e.number) + "\t" + EncodingName(e.encoding) +
                    (e.part ? "-part" : "") + "\t" + e.file + "\t" + std::to_string(e.bytes) +
                    "\t" + crc + "\t" + std::to_string(e.bodyLines) + "\n";
        }
        WriteBytes(m_options.dir + "/manifest.txt", text);
        if (!m_options.quiet) {
            std::fputs(text.c_str(), stdout);
        }
    }

    const Options& m_options;
    std::vector<ManifestEntry> m_manifest;
    int m_minutes = 0;
    PictureSpec m_crosspost{};
    std::string m_crosspostJpeg;
    int m_crosspostNumber = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options = ParseOptions(argc, argv);
    if (options.today) {
        ngsample::WriteToday({options.dir, options.todayPictures,
                              static_cast<std::uint64_t>(options.seed), options.quiet});
        return 0;
    }
    SampleWriter writer(options);
    writer.WriteAll();
    return 0;
}
