#pragma once
// Writing the sample server's folder: DIR/<group>/<number>, one whole article
// per file, and the files beside it.

#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace ngsample {

struct Article {
    std::vector<std::pair<std::string, std::string>> headers;
    std::vector<std::string> body;
};

// Headers, the empty line and the body, each line ended by eol.
std::string Serialize(const Article& article, const char* eol = "\n");

// "Sat, 01 Jun 2024 12:00:00 +0000"
std::string DateText(std::time_t when);

[[noreturn]] void Fail(const std::string& message);

void MakeDir(const std::string& path);

// Removes the article files (all-digit names), or with everyFile every
// regular file, so a rerun with fewer articles leaves no stale ones behind.
void ClearArticles(const std::string& dir, bool everyFile);

void WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace ngsample
