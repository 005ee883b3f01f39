#pragma once
// What one pass is made of, from its settings snapshot: the worker's two
// source files share it.

#include <string>

#include "engine/GroupScanner.h"
#include "engine/HeaderFilter.h"
#include "engine/PassHistory.h"
#include "engine/PostRetriever.h"
#include "engine/ProcessGroups.h"
#include "engine/ServerLink.h"
#include "store/SeenArticles.h"

struct CProcessGroups::Parts {
    Parts(CProcessGroups& worker, const ng::PassSettings& settings)
        : history(settings.maxHist, settings.skipDuplicates),
          filter(settings.filter, history.Names(), &seen),
          link(worker.m_pass, settings.server, settings.login, worker.m_pPrompt,
               ng::RetrySettings{settings.connectRetries, settings.retryWaitSeconds},
               [&worker](const std::string& text) { worker.Window().SetStatusText(text); }),
          scanner(worker.m_pass, worker.m_report, settings, link, filter, worker.m_pending,
                  worker.m_parts),
          retriever(worker.m_pass, worker.m_report, settings, link, worker.m_parts, history) {
        link.SetWindow(settings.articlesInFlight);
    }

    ng::PassHistory history;
    ng::SeenArticles seen;  // what passes dealt with, for crossposts
    ng::HeaderFilter filter;
    ng::ServerLink link;
    ng::GroupScanner scanner;
    ng::PostRetriever retriever;
};

