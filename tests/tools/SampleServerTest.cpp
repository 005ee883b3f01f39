// The bundled sample server and sample generator, driven as separate
// programs and spoken to over a plain socket.

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "support/Loopback.h"
#include "support/SampleServerProcess.h"
#include "support/TestSupport.h"

namespace {

const std::string kTools = std::string(NG_BINARY_DIR) + "/tools/";

// One manifest row: group, number, encoding, file, bytes, crc, body lines.
std::vector<std::string> ManifestRow(const std::string& dir, const std::string& file) {
    std::ifstream in(dir + "/manifest.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields = ngtest::SplitFields(line, '\t');
        if (fields.size() == 7 && fields[3] == file) {
            return fields;
        }
    }
    return {};
}

// A sample server on an ephemeral port; stops by itself after 60 s at the latest.
class SampleServer : public ngtest::SampleServerProcess {
public:
    SampleServer(const std::string& root, const std::vector<std::string>& extra)
        : SampleServerProcess(kTools + "newsgleaner-sample-server", root,
                              root + "/../port-" + std::to_string(++s_count), 60, extra) {}

private:
    static inline int s_count = 0;
};

class Client {
public:
    explicit Client(int port) {
        m_fd = ngtest::ConnectLoopback(port);
        if (m_fd >= 0) {
            timeval timeout{10, 0};
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        }
    }
    ~Client() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    bool Connected() const { return m_fd >= 0; }

    // A line with its CR LF, or "" when the connection ends or stalls.
    std::string ReadLine() {
        for (;;) {
            std::size_t lf = m_buffer.find('\n');
            if (lf != std::string::npos) {
                std::string line = m_buffer.substr(0, lf + 1);
                m_buffer.erase(0, lf + 1);
                return line;
            }
            char buf[65536];
            ssize_t n = m_fd < 0 ? -1 : ::recv(m_fd, buf, sizeof buf, 0);
            if (n <= 0) {
                return {};
            }
            m_buffer.append(buf, static_cast<std::size_t>(n));
        }
    }
    // Sends a command and returns the first reply line.
    std::string Ask(const std::string& command) {
        std::string line = command + "\r\n";
        if (m_fd < 0 || ::send(m_fd, line.data(), line.size(), MSG_NOSIGNAL) < 0) {
            return {};
        }
        return ReadLine();
    }
    // The lines of a multi-line block as sent, up to but without ".\r\n".
    std::vector<std::string> ReadBlock() {
        std::vector<std::string> lines;
        for (std::string line = ReadLine(); !line.empty() && line != ".\r\n"; line = ReadLine()) {
            lines.push_back(line);
        }
        return lines;
    }

    // A block with line ends removed and doubled leading dots undone;
    // counts the lines that had one, and lines with a CR before the line end.
    std::vector<std::string> ReadText(std::size_t* doubled, std::size_t* strayCr) {
        std::vector<std::string> lines = ReadBlock();
        for (std::string& line : lines) {
            if (line.find('\r') != line.size() - 2) {
                ++*strayCr;
            }
            line.erase(line.find_last_not_of("\r\n") + 1);
            if (!line.empty() && line[0] == '.') {
                line.erase(0, 1);
                ++*doubled;
            }
        }
        return lines;
    }

private:
    int m_fd = -1;
    std::string m_buffer;
};

std::vector<std::string> SplitTabs(std::string line) {
    line.erase(line.find_last_not_of("\r\n") + 1);
    return ngtest::SplitFields(line, '\t');
}

// Decodes uu data lines (from "begin" to the zero-length line) of an article.
std::string UuDecode(const std::vector<std::string>& lines) {
    std::string out;
    bool inData = false;
    for (const std::string& line : lines) {
        if (!inData) {
            inData = line.rfind("begin ", 0) == 0;
            continue;
        }
        std::size_t n = (line[0] - ' ') & 0x3F;
        if (n == 0) {
            break;
        }
        for (std::size_t i = 0, c = 1; i < n; i += 3, c += 4) {
            unsigned v[4];
            for (int k = 0; k < 4; ++k) {
                v[k] = (line[c + k] - ' ') & 0x3F;
            }
            char bytes[3] = {static_cast<char>(v[0] << 2 | v[1] >> 4),
                             static_cast<char>(v[1] << 4 | v[2] >> 2),
                             static_cast<char>(v[2] << 6 | v[3])};
            out.append(bytes, std::min<std::size_t>(3, n - i));
        }
    }
    return out;
}

// Decodes the base64 lines that follow the part header naming the file.
std::string Base64Part(const std::vector<std::string>& lines, const std::string& name) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    auto it = std::find(lines.begin(), lines.end(),
                        "Content-Disposition: attachment; filename=\"" + name + "\"");
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (it = it == lines.end() ? it : it + 2; it != lines.end() && it->rfind("--", 0) != 0; ++it) {
        for (char c : *it) {
            std::size_t v = kAlphabet.find(c);
            if (v == std::string::npos) {
                continue;
            }
            bits = (bits << 6) | static_cast<unsigned>(v);
            if ((count += 6) >= 8) {
                count -= 8;
                out.push_back(static_cast<char>((bits >> count) & 0xFF));
            }
        }
    }
    return out;
}

class SampleServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = m_dir.File("spool");
        ASSERT_EQ(0, ngtest::RunProgram({kTools + "newsgleaner-make-samples", m_root, "--quiet"}));
    }
    ngtest::TempDir m_dir;
    std::string m_root;
};

TEST_F(SampleServerTest, ServesSampleGroupsTheWayInnAnswers) {
    SampleServer server(m_root, {});
    ASSERT_NE(0, server.Port());
    Client client(server.Port());
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ("200 newsgleaner-sample-server ready (posting ok)\r\n", client.ReadLine());

    EXPECT_EQ("412", client.Ask("XOVER 1-").substr(0, 3));
    EXPECT_EQ("412", client.Ask("ARTICLE 1").substr(0, 3));
    EXPECT_EQ("411", client.Ask("GROUP no.such.group").substr(0, 3));
    EXPECT_EQ("411", client.Ask("GROUP ../misc.test").substr(0, 3));
    EXPECT_EQ("500", client.Ask("FROBNICATE").substr(0, 3));
    EXPECT_EQ("500", client.Ask(std::string(5000, 'x')).substr(0, 3));  // overlong, dropped whole

    EXPECT_EQ("215", client.Ask("LIST").substr(0, 3));
    std::vector<std::string> list = client.ReadBlock();
    EXPECT_NE(list.end(),
              std::find(list.begin(), list.end(), "misc.test 0000000003 0000000001 y\r\n"));

    // Picture 3 is the one whose last uu line carries 14 bytes.
    std::vector<std::string> dotted = ManifestRow(m_root, "circles-03.jpg");
    ASSERT_EQ(7u, dotted.size());
    ASSERT_EQ("14", std::to_string(std::stoul(dotted[4]) % 45));
    const std::string group = dotted[0];
    const std::string number = dotted[1];

    std::string reply = client.Ask("GROUP " + group);
    EXPECT_EQ("211 ", reply.substr(0, 4));
    EXPECT_NE(std::string::npos, reply.find(" 1 ")) << reply;
    EXPECT_NE(std::string::npos, reply.find(" " + group + "\r\n")) << reply;

    EXPECT_EQ("224", client.Ask("XOVER " + number + "-").substr(0, 3));
    std::vector<std::string> overview = client.ReadBlock();
    ASSERT_FALSE(overview.empty());
    std::vector<std::string> fields = SplitTabs(overview.front());
    ASSERT_EQ(9u, fields.size()) << overview.front();
    EXPECT_EQ(number, fields[0]);
    EXPECT_EQ("circles-03.jpg (1/1)", fields[1]);
    EXPECT_EQ("Sample Poster <poster@example.invalid>", fields[2]);
    EXPECT_EQ('<', fields[4].front());
    EXPECT_EQ(dotted[6], fields[7]);  // body lines
    EXPECT_EQ("Xref: sample.invalid " + group + ":" + number, fields[8]);
    EXPECT_EQ("224", client.Ask("XOVER 9000-9100").substr(0, 3));
    EXPECT_TRUE(client.ReadBlock().empty());

    EXPECT_EQ("220 " + number + " " + fields[4] + "\r\n", client.Ask("ARTICLE " + number));
    std::size_t doubled = 0, strayCr = 0;
    std::vector<std::string> article = client.ReadText(&doubled, &strayCr);
    EXPECT_EQ(1u, doubled);  // the 14-byte line, length character "."
    EXPECT_EQ(0u, strayCr);
    EXPECT_EQ(ngtest::ReadFile(m_root + "/.originals/circles-03.jpg"), UuDecode(article));

    EXPECT_EQ("423", client.Ask("ARTICLE 9999").substr(0, 3));
    EXPECT_EQ("430", client.Ask("ARTICLE <no.such@example.invalid>").substr(0, 3));
    EXPECT_EQ("220 0 " + fields[4] + "\r\n", client.Ask("ARTICLE " + fields[4]));
    EXPECT_EQ(article.size(), client.ReadBlock().size());

    // Stored with CR LF: sent without doubled CRs, a lone "." doubled.
    EXPECT_EQ("211 3 1 3 misc.test\r\n", client.Ask("GROUP misc.test"));
    EXPECT_EQ("220", client.Ask("ARTICLE 2").substr(0, 3));
    doubled = strayCr = 0;
    std::vector<std::string> text = client.ReadText(&doubled, &strayCr);
    EXPECT_EQ(3u, doubled);
    EXPECT_EQ(0u, strayCr);
    EXPECT_NE(text.end(), std::find(text.begin(), text.end(), "."));
    EXPECT_EQ("224", client.Ask("XOVER 2-3").substr(0, 3));
    EXPECT_EQ(2u, client.ReadBlock().size());

    // An article added while the server runs is served at once.
    ngtest::WriteFile(m_root + "/misc.test/4", "Subject: late\nMessage-ID: <late@x>\n\none\n");
    EXPECT_EQ("211 4 1 4 misc.test\r\n", client.Ask("GROUP misc.test"));
    EXPECT_EQ("224", client.Ask("XOVER 4").substr(0, 3));
    std::vector<std::string> late = client.ReadBlock();
    ASSERT_EQ(1u, late.size());
    EXPECT_EQ("late", SplitTabs(late[0])[1]);
    EXPECT_EQ("1", SplitTabs(late[0])[7]);

    // Garbage is refused and the connection goes on.
    EXPECT_EQ("500", client.Ask(std::string("\0\xff\x01 junk", 9)).substr(0, 3));

    // A MIME picture decodes back to the original bytes.
    std::vector<std::string> mime = ManifestRow(m_root, "checkers-02.jpg");
    ASSERT_EQ(7u, mime.size());
    EXPECT_EQ("211", client.Ask("GROUP " + mime[0]).substr(0, 3));
    EXPECT_EQ("220", client.Ask("ARTICLE " + mime[1]).substr(0, 3));
    std::vector<std::string> parts = client.ReadText(&doubled, &strayCr);
    EXPECT_EQ(ngtest::ReadFile(m_root + "/.originals/checkers-02.jpg"),
              Base64Part(parts, "checkers-02.jpg"));
    EXPECT_NE(parts.end(),
              std::find(parts.begin(), parts.end(), "Content-Transfer-Encoding: base64"));

    EXPECT_EQ("205", client.Ask("QUIT").substr(0, 3));
    EXPECT_EQ("", client.ReadLine());
}

TEST_F(SampleServerTest, RequiresLoginWhenConfigured) {
    SampleServer server(m_root, {"--user", "reader", "--password", "secret"});
    ASSERT_NE(0, server.Port());
    Client client(server.Port());
    EXPECT_EQ("200", client.ReadLine().substr(0, 3));
    EXPECT_EQ("480", client.Ask("GROUP misc.test").substr(0, 3));
    EXPECT_EQ("480", client.Ask("LIST").substr(0, 3));
    EXPECT_EQ("482", client.Ask("AUTHINFO PASS secret").substr(0, 3));
    // The reader sends a blank before the line end.
    EXPECT_EQ("381", client.Ask("AUTHINFO USER reader ").substr(0, 3));
    EXPECT_EQ("481", client.Ask("AUTHINFO PASS wrong ").substr(0, 3));
    EXPECT_EQ("480", client.Ask("GROUP misc.test").substr(0, 3));
    EXPECT_EQ("281", client.Ask("AUTHINFO PASS secret ").substr(0, 3));
    EXPECT_EQ("211", client.Ask("GROUP misc.test").substr(0, 3));
    EXPECT_EQ("502", client.Ask("AUTHINFO USER reader").substr(0, 3));

    Client other(server.Port());  // a login is per connection
    EXPECT_EQ("200", other.ReadLine().substr(0, 3));
    EXPECT_EQ("480", other.Ask("XOVER 1-").substr(0, 3));
}

TEST_F(SampleServerTest, SeveralClientsFetchAtOnce) {
    SampleServer server(m_root, {});
    ASSERT_NE(0, server.Port());
    std::vector<std::string> row = ManifestRow(m_root, "circles-03.jpg");
    ASSERT_EQ(7u, row.size());
    const std::string original = ngtest::ReadFile(m_root + "/.originals/circles-03.jpg");
    std::vector<int> good(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < good.size(); ++t) {
        threads.emplace_back([&, t] {
            Client client(server.Port());
            client.ReadLine();
            client.Ask("GROUP " + row[0]);
            for (int round = 0; round < 5; ++round) {
                std::size_t doubled = 0, strayCr = 0;
                if (client.Ask("ARTICLE " + row[1]).rfind("220", 0) == 0 &&
                    UuDecode(client.ReadText(&doubled, &strayCr)) == original) {
                    ++good[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(std::vector<int>(4, 5), good);
}

TEST_F(SampleServerTest, GeneratorKeepsPicturesInsideTheDefaultLineRange) {
    std::ifstream in(m_root + "/manifest.txt");
    int pictures = 0;
    std::map<std::string, int> partLines;  // a split post's lines count as one
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f = SplitTabs(line);
        if (f.size() != 7 || f[2] == "text" || f[2] == "encoding") {
            continue;
        }
        if (f[2].ends_with("-part")) {
            partLines[f[3]] += std::stoi(f[6]);
            continue;
        }
        ++pictures;
        int lines = std::stoi(f[6]);
        if (f[3] == "checkers-07.jpg") {
            EXPECT_LT(lines, 500) << "the small one shows the size filter at work";
        } else {
            EXPECT_TRUE(lines >= 500 && lines <= 2500) << f[3] << " has " << lines << " lines";
        }
        std::string jpeg = ngtest::ReadFile(m_root + "/.originals/" + f[3]);
        EXPECT_EQ(std::to_string(jpeg.size()), f[4]);
        EXPECT_EQ("\xFF\xD8\xFF\xE0", jpeg.substr(0, 4));
        EXPECT_EQ("\xFF\xD9", jpeg.substr(jpeg.size() - 2));
    }
    EXPECT_EQ(14, pictures);  // 8 samples, 5 more, one crosspost listed twice
    EXPECT_EQ(2u, partLines.size());
    for (const auto& [name, lines] : partLines) {
        EXPECT_TRUE(lines >= 500 && lines <= 2500) << name << " has " << lines << " lines";
    }

    // The benchmark group: random data of the asked size, uuencoded.
    ngtest::TempDir other;
    ASSERT_EQ(
        0, ngtest::RunProgram({kTools + "newsgleaner-make-samples", other.Path(), "--pictures", "1",
                               "--large-count", "2", "--large-size", "1000", "--quiet"}));
    std::vector<std::string> bench = ManifestRow(other.Path(), "bench-0002.bin");
    ASSERT_EQ(7u, bench.size());
    EXPECT_EQ("alt.binaries.pictures.bench", bench[0]);
    EXPECT_EQ("3", bench[1]);
    EXPECT_EQ("1000", bench[4]);
    EXPECT_EQ("26", bench[6]);  // begin, 23 data lines, "`", end
}

// One article row of the day's manifest.
struct TodayRow {
    std::string group;
    std::string number;
    std::string messageId;
    std::string xref;
    std::string subject;
};

std::vector<TodayRow> TodayArticles(const std::string& manifest) {
    static const std::regex kRow(
        R"re(^\{"group": "([^"]+)", "number": (\d+), "messageId": "([^"]+)", "post": \d+, )re"
        R"re("part": \d+, "kind": "[a-z0-9]+", "xref": "([^"]*)", "subject": "(.*)"\},?$)re");
    std::vector<TodayRow> rows;
    std::istringstream in(manifest);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, kRow)) {
            std::string subject = std::regex_replace(m[5].str(), std::regex(R"(\\(["\\]))"), "$1");
            rows.push_back({m[1], m[2], m[3], m[4], subject});
        }
    }
    return rows;
}

// The day of today's posts: the same seed gives the same bytes, another
// seed another day; the server serves every article the manifest lists
// under its number, and nothing else; a crosspost is one message in both
// groups, its Xref naming both numbers.
TEST(TodayGroupTest, SameSeedSameDayAndServedAsListed) {
    ngtest::TempDir dir;
    auto make = [&](const std::string& out, const char* seed) {
        return ngtest::RunProgram({kTools + "newsgleaner-make-samples", out, "--today",
                                   "--today-pictures", "30", "--seed", seed, "--quiet"});
    };
    ASSERT_EQ(0, make(dir.File("a"), "7"));
    ASSERT_EQ(0, make(dir.File("b"), "7"));
    ASSERT_EQ(0, make(dir.File("c"), "8"));
    const std::string manifest = ngtest::ReadFile(dir.File("a/today-manifest.json"));
    EXPECT_EQ(manifest, ngtest::ReadFile(dir.File("b/today-manifest.json")));
    EXPECT_NE(manifest, ngtest::ReadFile(dir.File("c/today-manifest.json")));
    EXPECT_NE(std::string::npos, manifest.find("\"wantedPictures\": 30,"));

    const std::vector<TodayRow> rows = TodayArticles(manifest);
    ASSERT_GT(rows.size(), 40u);
    std::map<std::string, std::map<std::string, const TodayRow*>> listed;  // group, number
    std::map<std::string, std::vector<const TodayRow*>> byId;
    for (const TodayRow& row : rows) {
        const std::string path = row.group + "/" + row.number;
        EXPECT_EQ(ngtest::ReadFile(dir.File("a/" + path)), ngtest::ReadFile(dir.File("b/" + path)))
            << path;
        listed[row.group][row.number] = &row;
        byId[row.messageId].push_back(&row);
    }
    ASSERT_EQ(2u, listed.size());

    SampleServer server(dir.File("a"), {});
    ASSERT_NE(0, server.Port());
    Client client(server.Port());
    ASSERT_EQ("200", client.ReadLine().substr(0, 3));
    std::map<std::string, std::vector<std::string>> overview;  // "group:number" -> fields
    for (const auto& [group, numbers] : listed) {
        ASSERT_EQ("211", client.Ask("GROUP " + group).substr(0, 3));
        ASSERT_EQ("224", client.Ask("XOVER " + numbers.begin()->first + "-").substr(0, 3));
        std::vector<std::string> lines = client.ReadBlock();
        EXPECT_EQ(numbers.size(), lines.size()) << group << " serves what is not listed";
        for (const std::string& line : lines) {
            std::vector<std::string> fields = SplitTabs(line);
            ASSERT_EQ(9u, fields.size()) << line;
            overview[group + ":" + fields[0]] = fields;
        }
    }
    int crossposts = 0;
    for (const TodayRow& row : rows) {
        auto it = overview.find(row.group + ":" + row.number);
        ASSERT_NE(overview.end(), it) << row.group << " " << row.number << " is not served";
        EXPECT_EQ(row.subject, it->second[1]);
        EXPECT_EQ(row.messageId, it->second[4]);
        if (row.xref.empty()) {
            EXPECT_EQ(1u, byId[row.messageId].size()) << row.messageId;
            continue;
        }
        ++crossposts;
        EXPECT_EQ("Xref: " + row.xref, it->second[8]);
        ASSERT_EQ(2u, byId[row.messageId].size()) << row.messageId;
        for (const TodayRow* copy : byId[row.messageId]) {
            EXPECT_NE(std::string::npos, row.xref.find(" " + copy->group + ":" + copy->number))
                << row.xref;
        }
    }
    EXPECT_GE(crossposts, 6);  // three posts at least, each listed in both groups
}

}  // namespace
