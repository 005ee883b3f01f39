#include "make-samples/TodayGroup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "make-samples/FileMakers.h"
#include "make-samples/Pictures.h"
#include "make-samples/Spool.h"
#include "make-samples/TextEncodings.h"

namespace ngsample {

namespace {

constexpr std::time_t kDayStart = 1747461600;  // Sat, 17 May 2025 06:00 UTC
constexpr double kDayMinutes = 1380;
// Posting programs cut a file into articles of about 750 KB: 6000 lines of
// 128 bytes before escapes.
constexpr std::size_t kPartBytes = 768000;
const char kServerHost[] = "news.example.invalid";
const char kPathHeader[] = "news.example.invalid!not-for-mail";
// The first article numbers of the two groups: a group of today has a long past.
constexpr long kFirstNumber = 4812001;
constexpr long kFirstMoreNumber = 907001;

enum class Encoding { Yenc, Base64, Uu, None };

const char* EncodingName(Encoding encoding) {
    switch (encoding) {
        case Encoding::Yenc:
            return "yenc";
        case Encoding::Base64:
            return "base64";
        case Encoding::Uu:
            return "uu";
        case Encoding::None:
            break;
    }
    return "none";
}

// Where a MIME part gives its file's name.
enum class MimeName {
    TypeAndDisposition,   // MIMEImage(name=...) and a Content-Disposition filename
    Disposition,          // filename="..." only, as add_header writes it
    TypeOnly,             // Content-Type name="..." only
    DispositionUnquoted,  // filename=... without quotes, as other mailers write it
    Rfc2231,              // filename*=utf-8''..., as Python writes a name that is not ASCII
};

struct DayFile {
    FileType type = FileType::Jpeg;
    std::string name;  // as first posted: the name a reader saves it under
    std::size_t size = 0;
    std::uint64_t seed = 0;
    std::string bytes;         // kept for real pictures, whose size is known once made
    bool wanted = false;       // a picture some post brings whole
    std::string unobtainable;  // why a picture is not wanted: "damaged", "incomplete"
    std::string sha256;        // known once written
    std::string original;      // its copy, relative to DIR
};

struct DayPost {
    std::string kind;   // picture, archive, par2, video, text
    std::string style;  // the poster's form, for reports: "yenc-counted-set", "mime", ...
    Encoding encoding = Encoding::Yenc;
    std::vector<int> files;
    std::vector<std::string> names;  // as this post gives them (a repost renames)
    std::vector<std::string> groups;
    std::string from;
    std::string idDomain;
    // The subject is head + "(n/N)" + tail, or head alone without a counter.
    std::string subjectHead;
    std::string subjectTail;
    bool counter = true;
    int counterWidth = 1;
    int parts = 1;
    YencStyle yenc;
    std::vector<std::string> variants;
    std::string status = "complete";  // or "incomplete", "damaged"
    int missingPart = 0;
    int copyOf = -1;
    // MIME
    bool multipart = true;
    std::vector<MimeName> naming;
    std::string about;
    std::string boundary;
    // uu
    bool uuNameless = false;
    // text
    std::vector<std::string> text;
    std::string references;
    std::vector<int> articles;
};

struct DayArticle {
    int post = 0;
    int part = 1;
    double at = 0;  // minutes into the day
    std::string messageId;
    std::vector<std::pair<std::string, long>> numbers;  // per group
};

std::string JsonText(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.push_back(c);
        }
    }
    return out + "\"";
}

std::string JsonList(const std::vector<std::string>& items, bool quote) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += (i ? ", " : "") + (quote ? JsonText(items[i]) : items[i]);
    }
    return out + "]";
}

std::string Padded(int value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

// "812 KB", "2.1 MB", as posting programs put a file's size after the counter.
std::string SizeText(std::size_t bytes) {
    char text[32];
    if (bytes >= 1000000) {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%zu KB", (bytes + 512) / 1024);
    }
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string FirstWord(const std::string& text) {
    return Lower(text.substr(0, text.find(' ')));
}

class TodayWriter {
public:
    explicit TodayWriter(const TodayOptions& options)
        : m_options(options), m_random(0x70DA4ull ^ (options.seed * 0x100000001B3ull)) {}

    void Write() {
        Plan();
        Number();
        MakeDir(m_options.dir);
        MakeDir(Originals());
        ClearArticles(Originals(), true);
        for (const char* group : {kTodayGroup, kTodayMoreGroup}) {
            MakeDir(m_options.dir + "/" + group);
            ClearArticles(m_options.dir + "/" + group, false);
        }
        for (std::size_t p = 0; p < m_posts.size(); ++p) {
            WritePost(static_cast<int>(p));
        }
        WriteManifest();
    }

private:
    // --- Chance, from the seed only ---------------------------------------------

    double Uniform() { return static_cast<double>(m_random.Next() >> 11) * 0x1.0p-53; }
    int Below(int n) { return static_cast<int>(m_random.Next() % static_cast<std::uint64_t>(n)); }
    std::size_t LogUniform(double low, double high) {
        return static_cast<std::size_t>(low * std::exp(std::log(high / low) * Uniform()));
    }
    std::string Hex(int digits) {
        static const char kHex[] = "0123456789abcdef";
        std::string out;
        for (int i = 0; i < digits; ++i) {
            out.push_back(kHex[m_random.Next() % 16]);
        }
        return out;
    }
    std::string Letters(int count) {
        static const char kChars[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::string out;
        for (int i = 0; i < count; ++i) {
            out.push_back(kChars[m_random.Next() % 62]);
        }
        return out;
    }
    std::string Digits(int count) {
        std::string out;
        for (int i = 0; i < count; ++i) {
            out.push_back(static_cast<char>('0' + m_random.Next() % 10));
        }
        return out;
    }

    // Most of today's pictures are a few hundred KB; some are camera
    // originals of several MB, split over articles; some are small.
    std::size_t PictureSize(FileType type) {
        if (type == FileType::Gif) {
            return LogUniform(40e3, 400e3);
        }
        const double u = Uniform();
        if (u < 0.07) {
            return LogUniform(1.0e6, 3.0e6);
        }
        if (u < 0.22) {
            return LogUniform(40e3, 120e3);
        }
        return LogUniform(120e3, 900e3);
    }

    // --- Files and posts ----------------------------------------------------------

    int AddFile(FileType type, const std::string& name, std::size_t size) {
        DayFile file;
        file.type = type;
        file.name = name;
        file.size = size;
        file.seed = m_random.Next();
        if (type == FileType::JpegReal || type == FileType::Png) {
            file.bytes = MakeFile(type, size, file.seed);
            file.size = file.bytes.size();
        }
        file.wanted = IsPicture(type);
        m_files.push_back(std::move(file));
        return static_cast<int>(m_files.size()) - 1;
    }

    std::string Content(int id) const {
        const DayFile& file = m_files[static_cast<std::size_t>(id)];
        return file.bytes.empty() ? MakeFile(file.type, file.size, file.seed) : file.bytes;
    }

    std::size_t SizeOf(int id) const { return m_files[static_cast<std::size_t>(id)].size; }

    DayPost& NewPost(const std::string& style, Encoding encoding, const std::string& from,
                     const std::string& idDomain) {
        DayPost post;
        post.style = style;
        post.encoding = encoding;
        post.from = from;
        post.idDomain = idDomain;
        post.groups = {kTodayGroup};
        m_posts.push_back(std::move(post));
        return m_posts.back();
    }

    void AddFileTo(DayPost& post, int id) {
        post.files.push_back(id);
        post.names.push_back(m_files[static_cast<std::size_t>(id)].name);
        post.kind = FileKindName(m_files[static_cast<std::size_t>(id)].type);
    }

    std::string MessageId(const DayPost& post, int part) {
        if (post.encoding == Encoding::Base64) {
            // email.utils.make_msgid: time, process id and a random number.
            const std::string time = std::to_string(kDayStart + Below(86400));
            const std::string process = std::to_string(1000 + Below(60000));
            const std::string random = Digits(19);
            return "<" + time + "." + process + "." + random + "@" + post.idDomain + ">";
        }
        if (post.encoding == Encoding::Yenc) {
            return "<part" + std::to_string(part) + "of" + std::to_string(post.parts) + "." +
                   Letters(20) + "@" + post.idDomain + ">";
        }
        return "<" + Hex(16) + "@" + post.idDomain + ">";
    }

    // Lays the post's articles out from `at` on; returns when the next post
    // of the same poster follows, a minute or three later, so that posters
    // busy at the same time mix in the group. Parts reach a server out of
    // order now and then, so a few swap places.
    double Schedule(int index, double at) {
        DayPost& post = m_posts[static_cast<std::size_t>(index)];
        if (post.encoding == Encoding::Yenc && post.files.size() == 1) {
            post.parts = static_cast<int>((SizeOf(post.files[0]) + kPartBytes - 1) / kPartBytes);
        }
        std::vector<double> times;
        for (int part = 1; part <= post.parts; ++part) {
            times.push_back(at + 0.4 * part);
        }
        if (post.parts > 1 && Below(4) == 0) {
            const int k = Below(post.parts - 1);
            std::swap(times[static_cast<std::size_t>(k)], times[static_cast<std::size_t>(k) + 1]);
        }
        for (int part = 1; part <= post.parts; ++part) {
            if (part == post.missingPart) {
                continue;
            }
            DayArticle article;
            article.post = index;
            article.part = part;
            article.at = times[static_cast<std::size_t>(part) - 1];
            article.messageId = MessageId(post, part);
            post.articles.push_back(static_cast<int>(m_articles.size()));
            m_articles.push_back(std::move(article));
        }
        return at + 0.4 * post.parts + 1 + 2 * Uniform();
    }

    // One file as one yEnc post; returns when the poster's next post follows.
    double PostYenc(int id, const std::string& style, const std::string& from,
                    const std::string& domain, const std::string& head, const std::string& tail,
                    int width, YencStyle yenc, double at) {
        DayPost& post = NewPost(style, Encoding::Yenc, from, domain);
        AddFileTo(post, id);
        post.subjectHead = head;
        post.subjectTail = tail;
        post.counterWidth = width;
        post.yenc = yenc;
        return Schedule(static_cast<int>(m_posts.size()) - 1, at);
    }

    std::string Subject(const DayPost& post, int part) const {
        if (!post.counter) {
            return post.subjectHead;
        }
        return post.subjectHead + "(" + Padded(part, post.counterWidth) + "/" +
               Padded(post.parts, post.counterWidth) + ")" + post.subjectTail;
    }

    // --- The day's plan -------------------------------------------------------------

    void Plan() {
        int budget = m_options.pictures;
        // Posts of a fixed make-up first; sets of each poster's form fill the rest.
        budget -= PlanMime();
        budget -= PlanUu();
        budget -= PlanMoreGroupSet();
        PlanNonPictures();
        for (int round = 0; budget > 0; ++round) {
            for (int style = 0; style < 7 && budget > 0; ++style) {
                budget -= PlanSet(style, round, budget);
            }
        }
        PlanRepost();
        PlanTexts();
        PlanCrossposts();
        PlanVariants();
    }

    // A set of one poster's pictures in one of today's subject forms; returns
    // how many wanted pictures it holds.
    int PlanSet(int style, int round, int budget) {
        double at = Uniform() * (kDayMinutes - 120);
        switch (style) {
            case 0:
                return CameraSet(round, std::min(budget, 10), at);
            case 1:
                return CountedSet(round, std::min(budget, 9), at);
            case 2:
                return DescribedSet(round, std::min(budget, 8), at);
            case 3:
                return NamedSet(round, std::min(budget, 12), at);
            case 4:
                return ObfuscatedSet(std::min(budget, 20), at);
            case 5:
                return UnquotedSet(round, std::min(budget, 6), at);
            default:
                return PaddedSet(round, std::min(budget, 9), at);
        }
    }

    // "IMG_1234.jpg" yEnc (1/1). The first set begins with a few pictures
    // drawn for real, and a damaged post among them; the second set's first
    // picture has the name of the first set's: cameras count alike.
    int CameraSet(int round, int count, double at) {
        const std::string from =
            round == 0 ? "Camera Roll <camera.roll@example.invalid>"
                       : "Phone Dump <dump" + std::to_string(round) + "@example.invalid>";
        int number = 1000 + Below(8000);
        for (int i = 0; i < count; ++i) {
            number += 1 + (Below(3) == 0 ? Below(5) : 0);
            std::string name = "IMG_" + Padded(number, 4) + ".jpg";
            if (round == 1 && i == 0) {
                name = m_firstCameraName;
            }
            const bool real = round == 0 && i < 4;
            const int id = real ? AddFile(FileType::JpegReal, name, 120000 + 60000 * i)
                                : AddFile(FileType::Jpeg, name, PictureSize(FileType::Jpeg));
            if (round == 0 && i == 0) {
                m_firstCameraName = name;
            }
            at = PostYenc(id, "yenc-quoted", from, "camera.example.invalid",
                          "\"" + name + "\" yEnc ", "", 1, {}, at);
            if (round == 0 && i == 5) {
                // Damaged on the way: a byte changed, the CRC as posted.
                const std::string bad = "IMG_" + Padded(number + 1, 4) + ".jpg";
                const int broken = AddFile(FileType::Jpeg, bad, 300000);
                m_files[static_cast<std::size_t>(broken)].wanted = false;
                m_files[static_cast<std::size_t>(broken)].unobtainable = "damaged";
                at = PostYenc(broken, "yenc-quoted", from, "camera.example.invalid",
                              "\"" + bad + "\" yEnc ", "", 1, {}, at);
                m_posts.back().status = "damaged";
                ++number;
            }
        }
        return count;
    }

    // [01/11] - "holiday_001.jpg" yEnc (1/1): the counter counts the set's
    // files, its recovery files included.
    int CountedSet(int round, int count, double at) {
        static const char* const kTopics[] = {"holiday", "wedding", "mountains", "harbour",
                                              "autumn",  "market",  "garden",    "lighthouse"};
        const std::string topic = kTopics[round % 8];
        const std::string from = "Set Poster <set.poster@example.invalid>";
        const int files = count + 2;
        YencStyle yenc;
        yenc.partHeader = true;
        yenc.crcEveryPart = true;
        auto head = [&](int i, const std::string& name) {
            return "[" + Padded(i, 2) + "/" + Padded(files, 2) + "] - \"" + name + "\" yEnc ";
        };
        for (int i = 1; i <= count; ++i) {
            const std::string name = topic + "_" + Padded(i, 3) + ".jpg";
            const int id = AddFile(FileType::Jpeg, name, PictureSize(FileType::Jpeg));
            if (m_repostSource < 0 && i == 2 && SizeOf(id) < kPartBytes) {
                m_repostSource = id;
            }
            at = PostYenc(id, "yenc-counted-set", from, "sets.example.invalid", head(i, name), "",
                          1, yenc, at);
        }
        const std::string par2 = topic + ".par2";
        at = PostYenc(AddFile(FileType::Par2, par2, 20000 + Below(20000)), "yenc-counted-set", from,
                      "sets.example.invalid", head(count + 1, par2), "", 1, yenc, at);
        const std::string volume = topic + ".vol00+02.par2";
        PostYenc(AddFile(FileType::Par2, volume, 250000 + Below(100000)), "yenc-counted-set", from,
                 "sets.example.invalid", head(count + 2, volume), "", 1, yenc, at);
        if (m_countedSetTopic.empty()) {
            m_countedSetTopic = topic;
        }
        return count;
    }

    // Sunset over the lake - "DSC01234.JPG" yEnc (1/3) 2.1 MB. The first
    // set holds a post whose last part never arrived.
    int DescribedSet(int round, int count, double at) {
        static const char* const kTitles[] = {"Sunset over the lake",  "Morning fog in the valley",
                                              "Old town at night",     "Storm clouds over the bay",
                                              "Tulips in the rain",    "Frozen waterfall",
                                              "Street market colours", "Harvest moon"};
        const std::string from = "Landscape Fan <landscapes@example.invalid>";
        YencStyle yenc;
        yenc.partHeader = true;
        int number = 1000 + Below(80000);
        for (int i = 0; i < count; ++i) {
            const std::string title = kTitles[(round * 3 + i) % 8];
            const std::string name = "DSC" + Padded(number += 1 + Below(4), 5) + ".JPG";
            const int id = AddFile(FileType::Jpeg, name, PictureSize(FileType::Jpeg));
            at = PostYenc(id, "yenc-described", from, "landscapes.example.invalid",
                          title + " - \"" + name + "\" yEnc ", " " + SizeText(SizeOf(id)), 1, yenc,
                          at);
            if (round == 0 && i == 2) {
                const std::string lost = "DSC" + Padded(number += 1, 5) + ".JPG";
                const int id2 = AddFile(FileType::Jpeg, lost, 2100000);
                m_files[static_cast<std::size_t>(id2)].wanted = false;
                m_files[static_cast<std::size_t>(id2)].unobtainable = "incomplete";
                DayPost& post =
                    NewPost("yenc-described", Encoding::Yenc, from, "landscapes.example.invalid");
                AddFileTo(post, id2);
                post.subjectHead = title + " - \"" + lost + "\" yEnc ";
                post.subjectTail = " " + SizeText(SizeOf(id2));
                post.yenc = yenc;
                post.status = "incomplete";
                post.missingPart = 3;
                at = Schedule(static_cast<int>(m_posts.size()) - 1, at);
            }
        }
        return count;
    }

    // (Beach set) [03/12] - "beach03.png" yEnc (1/1): PNGs mostly.
    int NamedSet(int round, int count, double at) {
        static const char* const kSets[] = {"Beach set", "Flower set", "Skyline set", "Forest set"};
        const std::string set = kSets[round % 4];
        const std::string from = "PNG Lover <png.lover@example.invalid>";
        for (int i = 1; i <= count; ++i) {
            const FileType type = Below(10) < 7 ? FileType::Png : FileType::Jpeg;
            const std::string name =
                FirstWord(set) + Padded(i, 2) + (type == FileType::Png ? ".png" : ".jpg");
            const int id = AddFile(type, name, PictureSize(type));
            at = PostYenc(id, "yenc-named-set", from, "png.example.invalid",
                          "(" + set + ") [" + Padded(i, 2) + "/" + Padded(count, 2) + "] - \"" +
                              name + "\" yEnc ",
                          "", 1, {}, at);
        }
        return count;
    }

    // [4/20] - "a8f3e2b1c9d0.jpg" yEnc (1/1): names that say nothing.
    int ObfuscatedSet(int count, double at) {
        const std::string nick = Letters(8);
        const std::string user = Lower(Letters(10));
        const std::string domain = Lower(Letters(6));
        const std::string from = nick + " <" + user + "@" + domain + ".invalid>";
        YencStyle yenc;
        yenc.partHeader = true;
        yenc.crcEveryPart = true;
        for (int i = 1; i <= count; ++i) {
            const int pick = Below(10);
            const FileType type = pick < 6   ? FileType::Jpeg
                                  : pick < 8 ? FileType::Png
                                             : FileType::Webp;
            const std::string name = Hex(12) + (type == FileType::Jpeg  ? ".jpg"
                                                : type == FileType::Png ? ".png"
                                                                        : ".webp");
            const int id = AddFile(type, name, PictureSize(type));
            at = PostYenc(id, "yenc-obfuscated", from, "obfuscated.example.invalid",
                          "[" + std::to_string(i) + "/" + std::to_string(count) + "] - \"" + name +
                              "\" yEnc ",
                          "", 1, yenc, at);
        }
        return count;
    }

    // Garden flowers - garden_07.webp yEnc (1/1): no quotes round the name.
    int UnquotedSet(int round, int count, double at) {
        static const char* const kTopics[] = {"Garden flowers", "Cats being cats", "Animated sky"};
        const std::string topic = kTopics[round % 3];
        const std::string from = "Webp Poster <webp@example.invalid>";
        for (int i = 1; i <= count; ++i) {
            const int pick = Below(4);
            const FileType type = pick < 2   ? FileType::Webp
                                  : pick < 3 ? FileType::Gif
                                             : FileType::Jpeg;
            const std::string name = FirstWord(topic) + "_" + Padded(i, 2) +
                                     (type == FileType::Webp  ? ".webp"
                                      : type == FileType::Gif ? ".gif"
                                                              : ".jpg");
            const int id = AddFile(type, name, PictureSize(type));
            at = PostYenc(id, "yenc-unquoted", from, "webp.example.invalid",
                          topic + " - " + name + " yEnc ", "", 1, {}, at);
        }
        return count;
    }

    // Night city [05/09] - "night_05.jpg" yEnc (01/01): counters with zeros.
    int PaddedSet(int round, int count, double at) {
        static const char* const kTopics[] = {"Night city", "Rainy window", "Desert roads"};
        const std::string topic = kTopics[round % 3];
        const std::string from = "Night Owl <night.owl@example.invalid>";
        YencStyle yenc;
        yenc.partHeader = true;
        for (int i = 1; i <= count; ++i) {
            const FileType type = Below(3) == 0 ? FileType::Png : FileType::Jpeg;
            const std::string name =
                FirstWord(topic) + "_" + Padded(i, 2) + (type == FileType::Png ? ".png" : ".jpg");
            const int id = AddFile(type, name, PictureSize(type));
            at = PostYenc(
                id, "yenc-zero-padded", from, "owl.example.invalid",
                topic + " [" + Padded(i, 2) + "/" + Padded(count, 2) + "] - \"" + name + "\" yEnc ",
                "", 2, yenc, at);
        }
        return count;
    }

    // Pictures sent by scripts on Python's email package: multipart/mixed
    // with a boundary of its own make, the name where each script put it.
    int PlanMime() {
        const std::string from = "Weekend Snapper <snapper@example.invalid>";
        struct Picture {
            FileType type;
            const char* name;
            MimeName naming;
        };
        struct Mail {
            const char* subject;
            const char* about;  // nullptr: no text part
            bool multipart;
            std::vector<Picture> pictures;
        };
        const Mail mails[] = {
            {"Sunny afternoon",
             "A sunny afternoon in the park.",
             true,
             {{FileType::Jpeg, "IMG_20250517_141503.jpg", MimeName::TypeAndDisposition}}},
            {"Sunny afternoon, one more",
             nullptr,
             true,
             {{FileType::Jpeg, "IMG_20250517_141622.jpg", MimeName::Disposition}}},
            {"Sunny afternoon, one more",
             "And the view from the bench.",
             true,
             {{FileType::Png, "Screenshot_20250517-142210.png", MimeName::TypeOnly}}},
            {"=?utf-8?q?Caf=C3=A9_am_See?=",
             "Coffee by the lake.",
             true,
             {{FileType::Jpeg, "Caf\xC3\xA9 am See.jpg", MimeName::Rfc2231}}},
            {"Two from the beach",
             "Two pictures from the beach, one mail.",
             true,
             {{FileType::Jpeg, "beach_pair_1.jpg", MimeName::Disposition},
              {FileType::Webp, "beach_pair_2.webp", MimeName::DispositionUnquoted}}},
            {"Evening light",
             nullptr,
             false,
             {{FileType::Gif, "evening.gif", MimeName::Disposition}}},
        };
        int pictures = 0;
        double at = Uniform() * (kDayMinutes - 120);
        for (const Mail& mail : mails) {
            DayPost& post = NewPost("mime", Encoding::Base64, from, "snapper.example.invalid");
            post.counter = false;
            post.subjectHead = mail.subject;
            post.about = mail.about ? mail.about : "";
            post.multipart = mail.multipart;
            post.boundary = "===============" + Digits(19) + "==";
            for (const Picture& picture : mail.pictures) {
                const std::size_t size = picture.type == FileType::Png
                                             ? 150000 + static_cast<std::size_t>(Below(150000))
                                             : LogUniform(40e3, 350e3);
                AddFileTo(post, AddFile(picture.type, picture.name, size));
                post.naming.push_back(picture.naming);
                ++pictures;
            }
            if (m_firstMimePost < 0) {
                m_firstMimePost = static_cast<int>(m_posts.size()) - 1;
            }
            at = Schedule(static_cast<int>(m_posts.size()) - 1, at) + 20 * Uniform();
        }
        // A script's archive of small pictures: no picture itself.
        DayPost& zip = NewPost("mime", Encoding::Base64, from, "snapper.example.invalid");
        zip.counter = false;
        zip.subjectHead = "photos jpg small";
        zip.about = "All of today's, zipped.";
        zip.boundary = "===============" + Digits(19) + "==";
        AddFileTo(zip, AddFile(FileType::Zip, "photos_jpg_small.zip", 150000));
        zip.naming.push_back(MimeName::Disposition);
        Schedule(static_cast<int>(m_posts.size()) - 1, at);
        return pictures;
    }

    // Old uuencoded posts: one, two files in one article, a begin line
    // without a name (the subject has it), and one in two articles.
    int PlanUu() {
        const std::string from = "Old Scanner <scanner@example.invalid>";
        double at = Uniform() * (kDayMinutes - 120);
        auto post = [&](const std::string& subject, bool counter) -> DayPost& {
            DayPost& p = NewPost("uu", Encoding::Uu, from, "scanner.example.invalid");
            p.subjectHead = subject;
            p.counter = counter;
            return p;
        };
        AddFileTo(post("old_scan_017.jpg ", true),
                  AddFile(FileType::Jpeg, "old_scan_017.jpg", LogUniform(40e3, 120e3)));
        at = Schedule(static_cast<int>(m_posts.size()) - 1, at);
        DayPost& two = post("Two scans: old_scan_018.jpg and old_scan_019.gif", false);
        AddFileTo(two, AddFile(FileType::Jpeg, "old_scan_018.jpg", LogUniform(40e3, 100e3)));
        AddFileTo(two, AddFile(FileType::Gif, "old_scan_019.gif", LogUniform(40e3, 100e3)));
        at = Schedule(static_cast<int>(m_posts.size()) - 1, at);
        DayPost& nameless = post("old_scan_020.jpg ", true);
        nameless.uuNameless = true;
        AddFileTo(nameless, AddFile(FileType::Jpeg, "old_scan_020.jpg", LogUniform(40e3, 120e3)));
        at = Schedule(static_cast<int>(m_posts.size()) - 1, at);
        DayPost& split = post("old_scan_021.jpg ", true);
        split.parts = 2;
        AddFileTo(split, AddFile(FileType::Jpeg, "old_scan_021.jpg", 150000 + Below(50000)));
        Schedule(static_cast<int>(m_posts.size()) - 1, at);
        return 5;
    }

    // A set of the second group's own.
    int PlanMoreGroupSet() {
        const std::string from = "Harbour Lights <harbour@example.invalid>";
        double at = Uniform() * (kDayMinutes - 120);
        YencStyle yenc;
        yenc.partHeader = true;
        for (int i = 1; i <= 5; ++i) {
            const std::string name = "harbour_lights_" + Padded(i, 2) + ".jpg";
            at =
                PostYenc(AddFile(FileType::Jpeg, name, PictureSize(FileType::Jpeg)),
                         "yenc-counted-set", from, "harbour.example.invalid",
                         "[" + std::to_string(i) + "/5] - \"" + name + "\" yEnc ", "", 1, yenc, at);
            m_posts.back().groups = {kTodayMoreGroup};
        }
        return 5;
    }

    // Archives, recovery files and a video, their names full of picture words.
    void PlanNonPictures() {
        const std::string from = "Archive Poster <archives@example.invalid>";
        YencStyle yenc;
        yenc.partHeader = true;
        yenc.crcEveryPart = true;
        double at = Uniform() * (kDayMinutes - 120);
        const char* const names[] = {"beach_jpg_collection.part01.rar",
                                     "beach_jpg_collection.part02.rar",
                                     "beach_jpg_collection.part03.rar", "beach_jpg_collection.par2",
                                     "beach_jpg_collection.vol000+01.par2"};
        for (int i = 0; i < 5; ++i) {
            const FileType type = i < 3 ? FileType::Rar : FileType::Par2;
            const std::size_t size = i < 3 ? 1400000 : i == 3 ? 40000 : 700000;
            at = PostYenc(
                AddFile(type, names[i], size), "yenc-counted-set", from, "archives.example.invalid",
                "[" + std::to_string(i + 1) + "/5] - \"" + names[i] + "\" yEnc ", "", 1, yenc, at);
        }
        at = Uniform() * (kDayMinutes - 120);
        const int zip = AddFile(FileType::Zip, "photos-jpg-12.zip", 1100000);
        at = PostYenc(zip, "yenc-described", from, "archives.example.invalid",
                      "Photos jpg 12 - \"photos-jpg-12.zip\" yEnc ", " " + SizeText(SizeOf(zip)), 1,
                      yenc, at);
        const int clip = AddFile(FileType::Mp4, "holiday_jpg_clip.mp4", 2000000);
        PostYenc(clip, "yenc-quoted", from, "archives.example.invalid",
                 "\"holiday_jpg_clip.mp4\" yEnc ", "", 1, {}, Uniform() * (kDayMinutes - 120));
    }

    // The same picture again, late in the day, under another subject and name.
    void PlanRepost() {
        if (m_repostSource < 0) {
            return;
        }
        const int original = FirstPostOf(m_repostSource);
        const std::string name = "best_of_" + m_countedSetTopic + ".jpg";
        DayPost& post =
            NewPost("yenc-quoted", Encoding::Yenc, "Another Poster <another@example.invalid>",
                    "another.example.invalid");
        AddFileTo(post, m_repostSource);
        post.names[0] = name;
        post.subjectHead = "Repost: best of " + m_countedSetTopic + " - \"" + name + "\" yEnc ";
        post.copyOf = original;
        Schedule(static_cast<int>(m_posts.size()) - 1, kDayMinutes - 30);
    }

    int FirstPostOf(int file) const {
        for (std::size_t p = 0; p < m_posts.size(); ++p) {
            const auto& files = m_posts[p].files;
            if (std::find(files.begin(), files.end(), file) != files.end()) {
                return static_cast<int>(p);
            }
        }
        return -1;
    }

    // Talk between the pictures, with picture words in every subject.
    void PlanTexts() {
        struct Talk {
            std::string subject;
            std::vector<std::string> body;
            const char* group;
        };
        std::vector<std::string> faq = {"Posting pictures here: the short version.", ""};
        for (int i = 1; faq.size() < 620; ++i) {
            faq.push_back(std::to_string(i) +
                          ". Post jpg, png or webp files one to an article set, with the");
            faq.push_back("   name in quotes and the part counter at the end of the subject.");
            faq.push_back("   Large files are split; keep the parts together in one session.");
            faq.push_back("");
        }
        const std::string holiday = m_countedSetTopic.empty() ? "holiday" : m_countedSetTopic;
        std::vector<Talk> talks = {
            {"best jpg settings?",
             {"What quality do you use for jpg? 85 or 92?", "", "Thanks."},
             kTodayGroup},
            {"Re: best jpg settings?",
             {"> What quality do you use for jpg? 85 or 92?", "",
              "92 for keepers, 85 for the rest. png if it has text in it."},
             kTodayGroup},
            {"Request: more png sunsets please",
             {"Anyone? The lake ones were great."},
             kTodayGroup},
            {"Re: [01/11] - \"" + holiday + "_001.jpg\" yEnc (1/1)",
             {"Thanks for the " + holiday + " set!", "", "The third one is my favourite."},
             kTodayGroup},
            {"FAQ: posting jpg, png and webp pictures (weekly)", faq, kTodayGroup},
            {"Re: IMG_" + m_firstCameraName.substr(4, 4) + ".jpg - great colours",
             {"Which camera is that?"},
             kTodayGroup},
            {"Which group for gif animations?",
             {"Is this the place for animated gif files, or the .more group?"},
             kTodayGroup},
            {"Re: harbour lights (1/5)", {"Lovely set, thank you."}, kTodayMoreGroup},
        };
        for (Talk& talk : talks) {
            DayPost& post = NewPost("text", Encoding::None, "Reader <reader@example.invalid>",
                                    "reader.example.invalid");
            post.kind = "text";
            post.counter = false;
            post.subjectHead = talk.subject;
            post.text = std::move(talk.body);
            post.groups = {talk.group};
            if (talk.subject.rfind("Re: ", 0) == 0) {
                post.references = "<" + Hex(16) + "@reader.example.invalid>";
            }
            Schedule(static_cast<int>(m_posts.size()) - 1, Uniform() * kDayMinutes);
        }
        m_crosspostText = static_cast<int>(m_posts.size()) - 2;  // the gif question
    }

    // Posted to both groups at once: one article, one message id, a number
    // in each group.
    void PlanCrossposts() {
        std::vector<int> chosen = {m_firstMimePost, m_crosspostText};
        int single = -1, multi = -1;
        for (std::size_t p = 0; p < m_posts.size(); ++p) {
            const DayPost& post = m_posts[p];
            if (post.kind != "picture" || post.status != "complete" || post.copyOf >= 0 ||
                post.encoding != Encoding::Yenc || post.groups[0] != kTodayGroup) {
                continue;
            }
            if (post.parts == 1 && single < 0 && post.style == "yenc-quoted") {
                single = static_cast<int>(p);
            } else if (post.parts > 1 && multi < 0) {
                multi = static_cast<int>(p);
            }
        }
        chosen.push_back(single);
        chosen.push_back(multi);
        for (int p : chosen) {
            if (p >= 0) {
                m_posts[static_cast<std::size_t>(p)].groups = {kTodayGroup, kTodayMoreGroup};
            }
        }
    }

    // A few posts whose yEnc lines are out of the common form: =ypart on
    // the =ybegin line, CRCs of 16 hex digits. Among them one of several parts.
    void PlanVariants() {
        std::vector<int> singles, multis;
        for (std::size_t p = 0; p < m_posts.size(); ++p) {
            const DayPost& post = m_posts[p];
            if (post.kind == "picture" && post.encoding == Encoding::Yenc &&
                post.status == "complete" && post.copyOf < 0 && post.groups.size() == 1) {
                (post.parts > 1 ? multis : singles).push_back(static_cast<int>(p));
            }
        }
        auto take = [&](std::vector<int>& from) {
            if (from.empty()) {
                return -1;
            }
            const int at = Below(static_cast<int>(from.size()));
            const int p = from[static_cast<std::size_t>(at)];
            from.erase(from.begin() + at);
            return p;
        };
        for (int variant = 0; variant < 2; ++variant) {
            std::vector<int> picked = {take(multis)};
            for (int i = 0; i < 3; ++i) {
                picked.push_back(take(singles));
            }
            for (int p : picked) {
                if (p < 0) {
                    continue;
                }
                DayPost& post = m_posts[static_cast<std::size_t>(p)];
                if (variant == 0) {
                    post.yenc.ypartOnBegin = true;
                    post.yenc.partHeader = true;
                    post.variants.push_back("ypart-on-ybegin");
                } else {
                    post.yenc.longCrc = true;
                    post.variants.push_back("crc-16-digits");
                }
            }
        }
    }

    // Article numbers in order of arrival, each group its own; now and then
    // a number is missing, as cancelled and expired articles leave gaps.
    void Number() {
        std::vector<int> order(m_articles.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = static_cast<int>(i);
        }
        std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
            return m_articles[static_cast<std::size_t>(a)].at <
                   m_articles[static_cast<std::size_t>(b)].at;
        });
        std::map<std::string, long> next = {{kTodayGroup, kFirstNumber},
                                            {kTodayMoreGroup, kFirstMoreNumber}};
        for (int index : order) {
            DayArticle& article = m_articles[static_cast<std::size_t>(index)];
            for (const std::string& group :
                 m_posts[static_cast<std::size_t>(article.post)].groups) {
                article.numbers.push_back({group, next[group]});
                next[group] += Below(30) == 0 ? 2 + Below(3) : 1;
            }
        }
    }

    // --- Writing ------------------------------------------------------------------

    std::string Originals() const { return m_options.dir + "/.originals"; }

    void WritePost(int index) {
        DayPost& post = m_posts[static_cast<std::size_t>(index)];
        std::vector<std::string> contents;
        for (int id : post.files) {
            contents.push_back(Content(id));
            DayFile& file = m_files[static_cast<std::size_t>(id)];
            if (file.sha256.empty()) {
                file.sha256 = Sha256Hex(contents.back());
                file.original = ".originals/" + Padded(id + 1, 3) + "-" + file.name;
                WriteBytes(m_options.dir + "/" + file.original, contents.back());
            }
        }
        for (int a : post.articles) {
            const DayArticle& article = m_articles[static_cast<std::size_t>(a)];
            const std::string text = Serialize(BuildArticle(post, article, contents));
            for (const auto& [group, number] : article.numbers) {
                WriteBytes(m_options.dir + "/" + group + "/" + std::to_string(number), text);
            }
        }
    }

    Article BuildArticle(const DayPost& post, const DayArticle& article,
                         const std::vector<std::string>& contents) const {
        Article out;
        std::string newsgroups;
        for (const std::string& group : post.groups) {
            newsgroups += (newsgroups.empty() ? "" : ",") + group;
        }
        out.headers = {{"Path", kPathHeader},
                       {"From", post.from},
                       {"Newsgroups", newsgroups},
                       {"Subject", Subject(post, article.part)},
                       {"Date", DateText(kDayStart + static_cast<std::time_t>(article.at * 60))},
                       {"Message-ID", article.messageId}};
        if (!post.references.empty()) {
            out.headers.push_back({"References", post.references});
        }
        if (article.numbers.size() > 1) {
            out.headers.push_back({"Xref", Xref(article)});
        }
        switch (post.encoding) {
            case Encoding::Yenc:
                out.body = YencBody(post, article.part, contents[0]);
                break;
            case Encoding::Uu:
                out.body = UuBody(post, article.part, contents);
                break;
            case Encoding::Base64:
                MimeBody(post, contents, out);
                break;
            case Encoding::None:
                out.body = post.text;
                break;
        }
        return out;
    }

    static std::string Xref(const DayArticle& article) {
        std::string xref = kServerHost;
        for (const auto& [group, number] : article.numbers) {
            xref += " " + group + ":" + std::to_string(number);
        }
        return xref;
    }

    std::vector<std::string> YencBody(const DayPost& post, int part,
                                      const std::string& content) const {
        const std::size_t begin = static_cast<std::size_t>(part - 1) * kPartBytes;
        const YencPiece piece{content, begin, std::min(content.size(), begin + kPartBytes), part,
                              post.parts};
        if (post.status != "damaged") {
            return YencLines(piece, post.names[0], post.yenc);
        }
        // One byte changed on the way; the trailer keeps the CRC as posted.
        std::string changed = content;
        changed[(piece.begin + piece.end) / 2] ^= 0x20;
        std::vector<std::string> lines = YencLines(
            {changed, piece.begin, piece.end, part, post.parts}, post.names[0], post.yenc);
        lines.back() = YencLines(piece, post.names[0], post.yenc).back();
        return lines;
    }

    std::vector<std::string> UuBody(const DayPost& post, int part,
                                    const std::vector<std::string>& contents) const {
        if (post.parts > 1) {
            // Consecutive pieces of one uuencoded text, cut at line ends.
            const std::vector<std::string> all = UuEncodeLines(contents[0], post.names[0]);
            const std::size_t from = all.size() * static_cast<std::size_t>(part - 1) /
                                     static_cast<std::size_t>(post.parts);
            const std::size_t to =
                all.size() * static_cast<std::size_t>(part) / static_cast<std::size_t>(post.parts);
            return {all.begin() + static_cast<std::ptrdiff_t>(from),
                    all.begin() + static_cast<std::ptrdiff_t>(to)};
        }
        std::vector<std::string> body = {"Scanned from an old album.", ""};
        for (std::size_t i = 0; i < contents.size(); ++i) {
            std::vector<std::string> lines = UuEncodeLines(contents[i], post.names[i]);
            if (post.uuNameless) {
                lines.front() = "begin 644";
            }
            body.insert(body.end(), lines.begin(), lines.end());
            body.push_back("");
        }
        return body;
    }

    // As email.generator writes a message of MIMEText and MIMEImage parts.
    void MimeBody(const DayPost& post, const std::vector<std::string>& contents,
                  Article& out) const {
        auto attachment = [&](std::size_t i, std::vector<std::pair<std::string, std::string>>& to) {
            const std::string& name = post.names[i];
            const DayFile& file = m_files[static_cast<std::size_t>(post.files[i])];
            const std::string type = file.type == FileType::Zip
                                         ? "application/zip"
                                         : std::string("image/") + FileTypeName(file.type);
            const MimeName naming = post.naming[i];
            const bool typeName =
                naming == MimeName::TypeAndDisposition || naming == MimeName::TypeOnly;
            to.push_back({"Content-Type", type + (typeName ? "; name=\"" + name + "\"" : "")});
            to.push_back({"MIME-Version", "1.0"});
            to.push_back({"Content-Transfer-Encoding", "base64"});
            if (naming == MimeName::TypeAndDisposition || naming == MimeName::Disposition) {
                to.push_back({"Content-Disposition", "attachment; filename=\"" + name + "\""});
            } else if (naming == MimeName::DispositionUnquoted) {
                to.push_back({"Content-Disposition", "attachment; filename=" + name});
            } else if (naming == MimeName::Rfc2231) {
                to.push_back({"Content-Disposition",
                              "attachment; filename*=utf-8''" + PercentEncoded(name)});
            }
        };
        if (!post.multipart) {
            std::vector<std::pair<std::string, std::string>> headers;
            attachment(0, headers);
            out.headers.insert(out.headers.end(), headers.begin(), headers.end());
            out.body = Base64Lines(contents[0]);
            return;
        }
        out.headers.push_back(
            {"Content-Type", "multipart/mixed; boundary=\"" + post.boundary + "\""});
        out.headers.push_back({"MIME-Version", "1.0"});
        const std::string delimiter = "--" + post.boundary;
        out.body.push_back(delimiter);
        if (!post.about.empty()) {
            out.body.insert(out.body.end(),
                            {"Content-Type: text/plain; charset=\"us-ascii\"", "MIME-Version: 1.0",
                             "Content-Transfer-Encoding: 7bit", "", post.about, delimiter});
        }
        for (std::size_t i = 0; i < contents.size(); ++i) {
            std::vector<std::pair<std::string, std::string>> headers;
            attachment(i, headers);
            for (const auto& [name, value] : headers) {
                out.body.push_back(name + ": " + value);
            }
            out.body.push_back("");
            std::vector<std::string> lines = Base64Lines(contents[i]);
            out.body.insert(out.body.end(), lines.begin(), lines.end());
            // base64 ends in a line end of its own, and the generator puts
            // one before each delimiter: an empty line between.
            out.body.push_back("");
            out.body.push_back(i + 1 == contents.size() ? delimiter + "--" : delimiter);
        }
    }

    static std::string PercentEncoded(const std::string& text) {
        std::string out;
        for (char c : text) {
            const unsigned char u = static_cast<unsigned char>(c);
            if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
                c == '.' || c == '-' || c == '_') {
                out.push_back(c);
            } else {
                char escaped[4];
                std::snprintf(escaped, sizeof escaped, "%%%02X", u);
                out += escaped;
            }
        }
        return out;
    }

    // --- The manifest ---------------------------------------------------------------

    // One record a line, so that a line tool can read it as well as a JSON one.
    void WriteManifest() const {
        int wanted = 0;
        for (const DayFile& file : m_files) {
            wanted += file.wanted;
        }
        std::string text = "{\n\"seed\": " + std::to_string(m_options.seed) +
                           ",\n\"groups\": " + JsonList({kTodayGroup, kTodayMoreGroup}, true) +
                           ",\n\"wantedPictures\": " + std::to_string(wanted) + ",\n";
        text += "\"files\": [\n";
        for (std::size_t i = 0; i < m_files.size(); ++i) {
            const DayFile& file = m_files[i];
            text +=
                "{\"id\": " + std::to_string(i + 1) +
                ", \"kind\": " + JsonText(FileKindName(file.type)) +
                ", \"type\": " + JsonText(FileTypeName(file.type)) +
                ", \"wanted\": " + (file.wanted ? "true" : "false") +
                ", \"unobtainable\": " + JsonText(file.unobtainable) + ", \"real\": " +
                (file.type == FileType::JpegReal || file.type == FileType::Png ? "true" : "false") +
                ", \"size\": " + std::to_string(file.size) +
                ", \"sha256\": " + JsonText(file.sha256) +
                ", \"original\": " + JsonText(file.original) +
                ", \"name\": " + JsonText(file.name) + "}" +
                (i + 1 < m_files.size() ? ",\n" : "\n");
        }
        text += "],\n\"posts\": [\n";
        for (std::size_t p = 0; p < m_posts.size(); ++p) {
            const DayPost& post = m_posts[p];
            std::vector<std::string> files, articles;
            for (int id : post.files) {
                files.push_back(std::to_string(id + 1));
            }
            for (int a : post.articles) {
                for (const auto& [group, number] :
                     m_articles[static_cast<std::size_t>(a)].numbers) {
                    articles.push_back("[" + JsonText(group) + ", " + std::to_string(number) + "]");
                }
            }
            bool wanted = post.status == "complete" && post.kind == "picture";
            text += "{\"id\": " + std::to_string(p + 1) + ", \"kind\": " + JsonText(post.kind) +
                    ", \"style\": " + JsonText(post.style) +
                    ", \"encoding\": " + JsonText(EncodingName(post.encoding)) +
                    ", \"parts\": " + std::to_string(post.parts) +
                    ", \"status\": " + JsonText(post.status) +
                    ", \"wanted\": " + (wanted ? "true" : "false") + ", \"copyOf\": " +
                    (post.copyOf < 0 ? "null" : std::to_string(post.copyOf + 1)) +
                    ", \"groups\": " + JsonList(post.groups, true) +
                    ", \"variants\": " + JsonList(post.variants, true) +
                    ", \"files\": " + JsonList(files, false) +
                    ", \"names\": " + JsonList(post.names, true) +
                    ", \"articles\": " + JsonList(articles, false) +
                    ", \"subject\": " + JsonText(Subject(post, 1)) + "}" +
                    (p + 1 < m_posts.size() ? ",\n" : "\n");
        }
        text += "],\n\"articles\": [\n";
        std::vector<std::pair<std::pair<std::string, long>, std::string>> rows;
        std::size_t bytes = 0;
        for (const DayArticle& article : m_articles) {
            const DayPost& post = m_posts[static_cast<std::size_t>(article.post)];
            for (const auto& [group, number] : article.numbers) {
                rows.push_back(
                    {{group, number},
                     "{\"group\": " + JsonText(group) + ", \"number\": " + std::to_string(number) +
                         ", \"messageId\": " + JsonText(article.messageId) +
                         ", \"post\": " + std::to_string(article.post + 1) +
                         ", \"part\": " + std::to_string(article.part) +
                         ", \"kind\": " + JsonText(post.kind) + ", \"xref\": " +
                         JsonText(article.numbers.size() > 1 ? Xref(article) : "") +
                         ", \"subject\": " + JsonText(Subject(post, article.part)) + "}"});
            }
        }
        // In the order a reader meets them: by group, then number.
        std::sort(rows.begin(), rows.end());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            text += rows[i].second + (i + 1 < rows.size() ? ",\n" : "\n");
        }
        text += "]\n}\n";
        WriteBytes(m_options.dir + "/" + kTodayManifest, text);
        for (const DayFile& file : m_files) {
            bytes += file.size;
        }
        if (!m_options.quiet) {
            std::printf(
                "%s and %s: %zu articles, %zu posts, %zu files of %.1f MB, %d of them "
                "wanted pictures\nManifest: %s/%s\n",
                kTodayGroup, kTodayMoreGroup, rows.size(), m_posts.size(), m_files.size(),
                static_cast<double>(bytes) / 1e6, wanted, m_options.dir.c_str(), kTodayManifest);
        }
    }

    const TodayOptions& m_options;
    Random m_random;
    std::vector<DayFile> m_files;
    std::vector<DayPost> m_posts;
    std::vector<DayArticle> m_articles;
    std::string m_firstCameraName = "IMG_0001.jpg";
    std::string m_countedSetTopic;
    int m_repostSource = -1;
    int m_firstMimePost = -1;
    int m_crosspostText = -1;
};

}  // namespace

void WriteToday(const TodayOptions& options) {
    TodayWriter(options).Write();
}

}  // namespace ngsample
