// The desktop program's pass beside the headless program's, in one process
// against one news server: the engine reporting to newsgleaner-pass's
// terminal display (plain lines into /dev/null), and the real main window
// (offscreen), Go pressed and the pass timed until the window is idle again.
// Every pass starts from a fresh profile: no history, no marks, no pictures.
//
// The server: NG_BENCH_PORT on 127.0.0.1 with the groups in NG_BENCH_GROUPS
// (blank-separated, one benchmark pair each), as scripts/bench-pass sets
// them; without NG_BENCH_PORT the bundled sample server is started on 200
// uuencoded articles of 500 KB. NG_BENCH_FILES: the files a pass must save
// (default 200). Run with --benchmark_repetitions=N; the "min" figure is the
// best pass. QT_QPA_PLATFORM defaults to offscreen.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/ProcessGroups.h"
#include "pass/TerminalDisplay.h"
#include "platform/System.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "support/SampleServerProcess.h"
#include "support/TempDir.h"
#include "ui/MainDialog.h"
#include "ui/StaticText.h"

namespace {

constexpr int kDefaultArticles = 200;
constexpr int kPassLimitMs = 300000;

int EnvInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

// The bundled sample server on its bench group, when no server is named.
class OwnSampleServer {
public:
    OwnSampleServer() : m_dir("ngdesk-") {
        const std::string tools = std::string(NG_BINARY_DIR) + "/tools/";
        const std::string make = tools + "newsgleaner-make-samples " + m_dir.File("spool") +
                                 " --large-count " + std::to_string(kDefaultArticles) + " --quiet";
        if (std::system(make.c_str()) != 0) {
            throw std::runtime_error("newsgleaner-make-samples failed");
        }
        m_server = std::make_unique<ngtest::SampleServerProcess>(
            tools + "newsgleaner-sample-server", m_dir.File("spool"), m_dir.File("port"), 1800);
    }
    int Port() const { return m_server->Port(); }

private:
    ngtest::TempDir m_dir;
    std::unique_ptr<ngtest::SampleServerProcess> m_server;
};

// A fresh profile in its own folder for each pass: settings, working folder
// (the current directory, as the programs make it) and download folder, all
// on one file system.
class Profile {
public:
    Profile(int port, std::string group) : m_port(port), m_group(std::move(group)) {}

    // Also writes out what the last pass left (and the removal of it), so that
    // no pass waits on its predecessor's disk writes in its own fsyncs.
    void Reset() {
        m_dir.reset();
        ::sync();
        m_dir = std::make_unique<ngtest::TempDir>("ngdesk-pass-");
        const std::string pictures = m_dir->File("pictures");
        std::filesystem::create_directories(pictures);
        std::filesystem::current_path(m_dir->Path());
        ng::Profile().SetPath(m_dir->File("newsgleaner.ini"));
        auto set = [](const char* key, const std::string& value) {
            ng::Profile().WriteProfileString(ng::keys::kProductSection, key, value);
        };
        set(ng::keys::kNNTPHost, "127.0.0.1");
        set(ng::keys::kNNTPPort, std::to_string(m_port));
        set(ng::keys::kDownloadDirectory, pictures + "/");
        set(ng::keys::kMinLines, "1");
        set(ng::keys::kMaxLines, "100000000");
        set(ng::keys::kSubjectIncl, "");    // the articles carry random bytes named .bin
        set(ng::keys::kPicturesOnly, "0");  // the random bytes are saved, as any file was
        set(ng::keys::kNNTPCompress, "0");
        set(ng::keys::kShowThumbnail, "1");
        std::FILE* groups = std::fopen("Groups.127.0.0.1", "w");
        std::fprintf(groups, "%s\n", m_group.c_str());
        std::fclose(groups);
    }

    int SavedFiles() const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir->File("pictures"))) {
            count += entry.is_regular_file();
        }
        return count;
    }

private:
    int m_port;
    std::string m_group;
    std::unique_ptr<ngtest::TempDir> m_dir;
};

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Checks what a pass left and reports its figures.
bool Finish(benchmark::State& state, const Profile& profile, const std::string& status,
            double cpuSeconds) {
    const int expected = EnvInt("NG_BENCH_FILES", kDefaultArticles);
    const int saved = profile.SavedFiles();
    if (status != "Operation complete" || saved != expected) {
        std::ostringstream why;
        why << "the pass ended with \"" << status << "\" and " << saved << " of " << expected
            << " files saved";
        state.SkipWithError(why.str().c_str());
        return false;
    }
    state.counters["process_cpu_s"] = cpuSeconds;
    return true;
}

// The engine with newsgleaner-pass's display, as its main() runs it.
void TerminalPass(benchmark::State& state, Profile& profile) {
    std::FILE* null = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        state.PauseTiming();
        profile.Reset();
        const double cpu = ProcessCpuSeconds();
        state.ResumeTiming();
        TerminalDisplay display(null, false, "Newsgleaner - [127.0.0.1]");
        ng::PendingList pending;
        CProcessGroups worker(ng::Profile(), display, nullptr, pending);
        const int priority = ng::Read(ng::Profile(), ng::setting::kPriority);
        if (!worker.Start(ng::PriorityLevelForSetting(priority))) {
            state.SkipWithError("the worker did not start");
            break;
        }
        display.WaitForPassEnd();
        worker.Join();
        display.PrintSummary();
        state.PauseTiming();
        const std::string status = display.ShowedMessage() ? "a message" : display.LastStatus();
        if (!Finish(state, profile, status, ProcessCpuSeconds() - cpu)) {
            break;
        }
        state.ResumeTiming();
    }
    std::fclose(null);
}

// Ends `loop` once the window is idle again: the Go button comes back
// enabled as the window takes the pass's end.
class IdleWatch : public QObject {
public:
    IdleWatch(CMainDialog& window, QEventLoop& loop) : m_window(window), m_loop(loop) {
        window.Ui().go->installEventFilter(this);
    }
    ~IdleWatch() override { m_window.Ui().go->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange && m_window.IsIdle()) {
            m_loop.quit();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    CMainDialog& m_window;
    QEventLoop& m_loop;
};

// Presses Go and runs the event loop until the window is idle again; false
// when a message box came up or the pass did not end within the limit.
bool RunWindowPass(CMainDialog& window) {
    QEventLoop loop;
    IdleWatch watch(window, loop);
    bool failed = false;
    // A message box would wait for an answer: close it, the pass failed.
    QTimer guard;
    guard.setInterval(100);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            failed = true;
            modal->close();
        }
    });
    guard.start();
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&] {
        failed = true;
        loop.quit();
    });
    limit.start(kPassLimitMs);
    window.Ui().go->click();
    if (!window.IsIdle()) {
        loop.exec();
    }
    return !failed;
}

// The main window as the user has it: open, Go pressed, idle again.
void WindowPass(benchmark::State& state, Profile& profile) {
    for (auto _ : state) {
        state.PauseTiming();
        profile.Reset();
        auto window = std::make_unique<CMainDialog>();
        window->show();
        QApplication::processEvents();
        const double cpu = ProcessCpuSeconds();
        state.ResumeTiming();
        const bool ended = RunWindowPass(*window);
        state.PauseTiming();
        const double cpuSeconds = ProcessCpuSeconds() - cpu;
        const std::string status =
            ended ? window->Ui().status->text().trimmed().toStdString() : "a message or no end";
        window.reset();
        if (!Finish(state, profile, status, cpuSeconds)) {
            break;
        }
        state.ResumeTiming();
    }
}

void Register(int port, const std::string& group) {
    auto profile = std::make_shared<Profile>(port, group);
    auto configure = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1)
            ->ComputeStatistics("min", [](const std::vector<double>& v) {
                return *std::min_element(v.begin(), v.end());
            });
    };
    configure(benchmark::RegisterBenchmark(
        ("BM_TerminalPass/" + group).c_str(),
        [profile](benchmark::State& state) { TerminalPass(state, *profile); }));
    configure(benchmark::RegisterBenchmark(
        ("BM_WindowPass/" + group).c_str(),
        [profile](benchmark::State& state) { WindowPass(state, *profile); }));
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // Qt is not handed the benchmark's options.
    static int qtArgc = 1;
    static char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    benchmark::Initialize(&argc, argv);

    std::unique_ptr<OwnSampleServer> own;
    int port = EnvInt("NG_BENCH_PORT", 0);
    std::string groups = std::getenv("NG_BENCH_GROUPS") ? std::getenv("NG_BENCH_GROUPS") : "";
    if (port == 0) {
        own = std::make_unique<OwnSampleServer>();
        port = own->Port();
        groups = "alt.binaries.pictures.bench";
        if (port == 0) {
            std::fputs("bench_desktop_pass: the sample news server did not start\n", stderr);
            return 1;
        }
    }
    std::istringstream names(groups);
    for (std::string group; names >> group;) {
        Register(port, group);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
