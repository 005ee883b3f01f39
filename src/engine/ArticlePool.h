#pragma once
// Fetching beside decoding: while the pass decodes, hashes and writes one
// article on its own thread, fetching threads keep the connections busy
// with the ones after it. Each fetching thread has a link of its own (the
// pass's link for the first; with Connections above 1, one more each), takes
// the next articles the pass will ask for, a window at a time, and reads
// them into memory; the pass takes them in its own order. A bounded number
// of articles waits ahead, so memory stays bounded.
//
// Everything the pass shows is shown on its own thread: the lines of an
// article reach the pass's sink there, a block at a time as they arrive
// (so the "Lines Decoded" bar moves during a long download), and what the
// links say (reconnections) goes on the status line from there too.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/ArticleSource.h"

namespace ng {

class PassContext;
class ServerLink;

class ArticlePool : public ArticleSource {
public:
    // `links`: the pass's own link first, then the extra ones (not opened
    // yet). `window`: ARTICLE commands out at once on each. `show` puts a
    // text on the status line (called on the pass's thread only).
    ArticlePool(PassContext& pass, std::vector<ServerLink*> links, size_t window,
                std::function<void(const std::string&)> show);
    ~ArticlePool();
    ArticlePool(const ArticlePool&) = delete;
    ArticlePool& operator=(const ArticlePool&) = delete;

    // Starts fetching for a group that the pass's link has selected; the
    // other links select it themselves. The pass's link belongs to the
    // pool until Finish.
    void Start(const std::string& group);
    // Stops fetching, drops what was fetched and not taken, reads the
    // replies still due on every link, and gives the pass's link back.
    void Finish();

    FetchResult Fetch(const ArticleRequest& wanted, const std::vector<ArticleRequest>& upcoming,
                      ArticleSink& sink) override;

    // Extra links the server took (after the first Start).
    size_t LinksInUse() const;

private:
    struct Block;
    struct Slot;
    class Fetcher;

    void FetcherLoop(size_t index);
    // The slots a fetching thread takes next (a window of neighbours);
    // empty when it is to end.
    std::vector<std::shared_ptr<Slot>> Claim();
    void ShowPending(std::unique_lock<std::mutex>& lock);
    std::shared_ptr<Slot> SlotFor(const ArticleRequest& wanted,
                                  const std::vector<ArticleRequest>& upcoming);

    PassContext& m_pass;
    std::vector<ServerLink*> m_links;
    size_t m_window;
    std::function<void(const std::string&)> m_show;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<Slot>> m_slots;  // in the order the pass will take them
    std::vector<std::string> m_statusTexts;     // from the links, to be shown
    std::vector<std::thread> m_threads;
    std::vector<bool> m_alive;   // per link: still fetching
    std::vector<bool> m_opened;  // per extra link: opened once already
    bool m_bStopping = false;
    bool m_bExtrasTried = false;  // the extra links were opened (or refused)
    std::string m_strGroup;
    std::string m_strFailure;  // the pass's own link gave up saying so
};

}  // namespace ng
