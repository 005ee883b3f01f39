#include "engine/ArticlePool.h"

#include <algorithm>
#include <chrono>

#include "engine/PassContext.h"
#include "engine/ServerLink.h"

namespace ng {

namespace {

// Lines are handed over in blocks of about this many bytes: few enough
// hand-overs to cost nothing, small enough for the bar to move.
constexpr size_t kBlockBytes = 256 * 1024;
constexpr std::chrono::milliseconds kWaitSlice{100};

}  // namespace

// A block is never changed once handed over. Its room is taken at once:
// grown line by line it would be copied a dozen times on the way.
struct ArticlePool::Block : LineBlock {
    Block() {
        text.reserve(kBlockBytes + 4096);
        ends.reserve(kBlockBytes / 64);
        received.reserve(kBlockBytes / 64);
    }
};

// One article the pass will ask for, and how far its fetching came.
struct ArticlePool::Slot {
    enum State { Queued, Claimed, Done };
    ArticleRequest request;
    State state = Queued;
    int generation = 0;  // one more at each Begin: the lines start again
    std::vector<std::shared_ptr<const Block>> blocks;
    FetchResult result = FetchResult::Failed;
    bool abandoned = false;  // no longer wanted: fetched (if at all) for nothing
    bool requested = false;  // the pass waits for it now
};

// The sink of a fetching thread: lines into blocks, handed over as they fill.
class ArticlePool::Fetcher : public ArticleSink {
public:
    Fetcher(ArticlePool& pool, std::shared_ptr<Slot> slot)
        : m_pool(pool), m_slot(std::move(slot)) {}

    void Begin() override {
        m_block = std::make_shared<Block>();
        std::lock_guard lock(m_pool.m_mutex);
        m_slot->blocks.clear();
        ++m_slot->generation;
        m_pool.m_changed.notify_all();
    }
    void Line(std::string_view line, int64_t received) override {
        m_block->Add(line, received);
        if (m_block->text.size() >= kBlockBytes) {
            Publish(std::nullopt);
        }
    }
    // As Line for each, a block's worth at a time.
    void Run(const LineRun& run) override {
        for (size_t first = 0; first < run.Size();) {
            // Up to the line that fills the block, as Line would go.
            const size_t room = kBlockBytes - std::min(kBlockBytes, m_block->text.size());
            const auto fills =
                std::lower_bound(run.ends.begin() + first, run.ends.end(), run.Start(first) + room);
            const size_t last = std::min<size_t>(fills - run.ends.begin() + 1, run.Size());
            m_block->Add(run, first, last);
            if (m_block->text.size() >= kBlockBytes) {
                Publish(std::nullopt);
            }
            first = last;
        }
    }
    // Hands over the lines so far; with a result, the article is done.
    void Publish(std::optional<FetchResult> result) {
        std::lock_guard lock(m_pool.m_mutex);
        if (m_block && !m_block->Empty()) {
            m_slot->blocks.push_back(std::move(m_block));
            m_block = std::make_shared<Block>();
        }
        if (result) {
            m_slot->state = Slot::Done;
            m_slot->result = *result;
        }
        m_pool.m_changed.notify_all();
    }

private:
    ArticlePool& m_pool;
    std::shared_ptr<Slot> m_slot;
    std::shared_ptr<Block> m_block = std::make_shared<Block>();
};

ArticlePool::ArticlePool(PassContext& pass, std::vector<ServerLink*> links, size_t window,
                         std::function<void(const std::string&)> show)
    : m_pass(pass),
      m_links(std::move(links)),
      m_window(std::max<size_t>(window, 1)),
      m_show(std::move(show)),
      m_alive(m_links.size(), false),
      m_opened(m_links.size(), false) {
    for (size_t i = 1; i < m_links.size(); ++i) {
        m_links[i]->SetStatusHandler([this](const std::string& text) {
            std::lock_guard lock(m_mutex);
            m_statusTexts.push_back(text);
            m_changed.notify_all();
        });
    }
}

ArticlePool::~ArticlePool() {
    Finish();
}

size_t ArticlePool::LinksInUse() const {
    std::lock_guard lock(m_mutex);
    return static_cast<size_t>(std::count(m_opened.begin(), m_opened.end(), true)) + 1;
}

void ArticlePool::Start(const std::string& group) {
    Finish();
    m_strGroup = group;
    // The extra connections are opened once, on the pass's thread, so that
    // what the server says to them is said in order.
    if (!m_bExtrasTried && m_links.size() > 1) {
        m_bExtrasTried = true;
        const LoginSettings login = m_links.front()->UsedLogin();
        size_t taken = 1;
        for (size_t i = 1; i < m_links.size() && !m_pass.StopRequested(); ++i) {
            m_opened[i] = m_links[i]->OpenExtra(login);
            taken += m_opened[i] ? 1 : 0;
        }
        if (taken < m_links.size()) {
            // Not an error: the pass goes on with the connections it has.
            m_show("The server took " + std::to_string(taken) + " of " +
                   std::to_string(m_links.size()) + " connections; going on with " +
                   std::to_string(taken));
        }
    }
    std::lock_guard lock(m_mutex);
    m_bStopping = false;
    m_slots.clear();
    m_strFailure.clear();
    m_links.front()->SetStatusHandler([this](const std::string& text) {
        std::lock_guard statusLock(m_mutex);
        m_statusTexts.push_back(text);
        m_changed.notify_all();
    });
    // The pass's own link giving up ends the pass once the articles
    // fetched before that are dealt with, as it always did.
    m_links.front()->SetFailHandler([this](const std::string& text) {
        std::lock_guard failLock(m_mutex);
        m_strFailure = text;
        m_changed.notify_all();
    });
    for (size_t i = 0; i < m_links.size(); ++i) {
        m_alive[i] = i == 0 || (m_opened[i] && !m_links[i]->GaveUp());
        if (m_alive[i]) {
            m_threads.emplace_back([this, i] { FetcherLoop(i); });
        }
    }
}

void ArticlePool::Finish() {
    {
        std::lock_guard lock(m_mutex);
        if (m_threads.empty()) {
            return;
        }
        m_bStopping = true;
        m_changed.notify_all();
    }
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
    std::unique_lock lock(m_mutex);
    m_slots.clear();
    ShowPending(lock);
    lock.unlock();
    m_links.front()->SetStatusHandler(m_show);
    m_links.front()->SetFailHandler([this](const std::string& text) { m_pass.Fail(text); });
    if (!m_strFailure.empty()) {
        m_pass.Fail(m_strFailure);  // never reached by the pass: still its end
    }
}

void ArticlePool::ShowPending(std::unique_lock<std::mutex>& lock) {
    if (m_statusTexts.empty()) {
        return;
    }
    std::vector<std::string> texts = std::exchange(m_statusTexts, {});
    lock.unlock();
    for (const std::string& text : texts) {
        m_show(text);
    }
    lock.lock();
}

std::vector<std::shared_ptr<ArticlePool::Slot>> ArticlePool::Claim() {
    // Articles from the one the pass takes next: enough to keep every
    // connection's window full, and no more, so memory stays bounded.
    const size_t ahead = m_links.size() * m_window;
    // With one command out at once on one connection nothing is fetched
    // ahead: each article is asked for when the pass wants it, as always.
    const bool fetchAhead = ahead > 1;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_bStopping || m_pass.StopRequested()) {
            return {};
        }
        std::vector<std::shared_ptr<Slot>> claimed;
        for (size_t i = 0; i < m_slots.size() && i < ahead && claimed.size() < m_window; ++i) {
            Slot& slot = *m_slots[i];
            if (slot.state == Slot::Queued && !slot.abandoned && (fetchAhead || slot.requested)) {
                slot.state = Slot::Claimed;
                claimed.push_back(m_slots[i]);
            } else if (!claimed.empty()) {
                break;  // a window of neighbours only: each is sent ahead of the next
            }
        }
        if (!claimed.empty()) {
            return claimed;
        }
        m_changed.wait_for(lock, kWaitSlice);
    }
}

void ArticlePool::FetcherLoop(size_t index) {
    ServerLink& link = *m_links[index];
    link.SetWindow(m_window);
    if (index > 0 && link.SelectGroup(m_strGroup).code == 0) {
        std::lock_guard lock(m_mutex);
        m_alive[index] = false;
        m_changed.notify_all();
        return;
    }
    for (;;) {
        std::vector<std::shared_ptr<Slot>> claimed = Claim();
        if (claimed.empty()) {
            break;
        }
        size_t failedAt = claimed.size();
        for (size_t i = 0; i < claimed.size() && failedAt == claimed.size(); ++i) {
            std::vector<ArticleRequest> upcoming;
            for (size_t j = i + 1; j < claimed.size(); ++j) {
                upcoming.push_back(claimed[j]->request);
            }
            Fetcher sink(*this, claimed[i]);
            const FetchResult result = link.Fetch(claimed[i]->request, upcoming, sink);
            if (result == FetchResult::Failed || result == FetchResult::Stopped) {
                failedAt = i;
                // An extra link that gave up leaves its articles to the
                // others; a stop (or the pass's own link given up, which
                // stops the pass) ends them.
                if (m_pass.StopRequested()) {
                    sink.Publish(result);
                    ++failedAt;
                }
                break;
            }
            sink.Publish(result);
        }
        if (failedAt == claimed.size()) {
            continue;
        }
        std::lock_guard lock(m_mutex);
        for (size_t j = failedAt; j < claimed.size(); ++j) {
            claimed[j]->state = Slot::Queued;
        }
        m_alive[index] = false;
        m_changed.notify_all();
        break;
    }
    if (!m_pass.StopRequested()) {
        link.DropSentAhead();  // the next command on it must get its own reply
    }
}

std::shared_ptr<ArticlePool::Slot> ArticlePool::SlotFor(
    const ArticleRequest& wanted, const std::vector<ArticleRequest>& upcoming) {
    // Articles before the one wanted are no longer wanted (removed in the
    // pending dialog): dropped, or left to their fetcher and then dropped.
    while (!m_slots.empty() && m_slots.front()->request.number != wanted.number) {
        m_slots.front()->abandoned = true;
        m_slots.pop_front();
    }
    auto add = [&](const ArticleRequest& request) {
        auto slot = std::make_shared<Slot>();
        slot->request = request;
        m_slots.push_back(std::move(slot));
    };
    if (m_slots.empty()) {
        add(wanted);
    }
    for (const ArticleRequest& next : upcoming) {
        auto same = [&](const std::shared_ptr<Slot>& s) {
            return s->request.number == next.number;
        };
        if (std::none_of(m_slots.begin(), m_slots.end(), same)) {
            add(next);
        }
    }
    m_changed.notify_all();
    return m_slots.front();
}

FetchResult ArticlePool::Fetch(const ArticleRequest& wanted,
                               const std::vector<ArticleRequest>& upcoming, ArticleSink& sink) {
    std::unique_lock lock(m_mutex);
    if (m_threads.empty()) {
        return FetchResult::Failed;  // not started: nothing fetches
    }
    std::shared_ptr<Slot> slot = SlotFor(wanted, upcoming);
    slot->requested = true;
    m_changed.notify_all();
    int generation = 0;
    size_t taken = 0;  // blocks handed to the sink
    std::optional<FetchResult> result;
    while (!result) {
        ShowPending(lock);
        if (slot->generation != generation) {
            generation = slot->generation;
            taken = 0;
            lock.unlock();
            sink.Begin();
            lock.lock();
            continue;
        }
        if (taken < slot->blocks.size()) {
            std::vector<std::shared_ptr<const Block>> blocks(slot->blocks.begin() + taken,
                                                             slot->blocks.end());
            taken = slot->blocks.size();
            lock.unlock();
            for (const auto& block : blocks) {
                sink.Lines(*block);
            }
            lock.lock();
            continue;
        }
        if (slot->state == Slot::Done) {
            result = slot->result;
        } else if (m_pass.StopRequested()) {
            result = FetchResult::Stopped;
        } else if (std::none_of(m_alive.begin(), m_alive.end(), [](bool alive) { return alive; })) {
            result = FetchResult::Failed;  // no connection left to fetch it
        } else {
            m_changed.wait_for(lock, kWaitSlice);
        }
    }
    if (!m_slots.empty() && m_slots.front() == slot) {
        m_slots.pop_front();
        m_changed.notify_all();  // room for one more ahead
    }
    if (*result == FetchResult::Failed && !m_strFailure.empty()) {
        m_pass.Fail(m_strFailure);
    }
    ShowPending(lock);
    return *result;
}

}  // namespace ng
