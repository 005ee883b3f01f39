#pragma once
// A throwaway certificate authority and server certificates for TLS tests,
// made with the openssl command in a temporary folder: one for localhost and
// 127.0.0.1, and one that names another host.

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace ngtest {

class TestCertificates {
public:
    TestCertificates() {
        const std::string d = m_dir.Path() + "/";
        auto run = [&](const std::string& command) { return std::system(command.c_str()) == 0; };
        const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        m_bMade = run("openssl req -x509 " + key + " -keyout " + d + "ca.key -out " + d +
                      "ca.pem -days 2 -subj /CN=Test-Authority >/dev/null 2>&1") &&
                  Leaf(run, d, key, "server", "DNS:localhost,IP:127.0.0.1") &&
                  Leaf(run, d, key, "other", "DNS:other.example");
    }
    bool Made() const { return m_bMade; }
    std::string CaFile() const { return m_dir.File("ca.pem"); }
    // The certificate (with the authority's after it, as servers send it) and key.
    std::string Chain(const std::string& which) const { return m_dir.File(which + ".chain"); }
    std::string Key(const std::string& which) const { return m_dir.File(which + ".key"); }

private:
    template <typename Run>
    static bool Leaf(Run& run, const std::string& d, const std::string& key,
                     const std::string& name, const std::string& san) {
        return run("echo subjectAltName=" + san + " > " + d + name + ".ext") &&
               run("openssl req " + key + " -keyout " + d + name + ".key -out " + d + name +
                   ".csr -subj /CN=" + name + " >/dev/null 2>&1") &&
               run("openssl x509 -req -in " + d + name + ".csr -CA " + d + "ca.pem -CAkey " + d +
                   "ca.key -CAcreateserial -days 2 -out " + d + name + ".pem -extfile " + d + name +
                   ".ext >/dev/null 2>&1") &&
               run("cat " + d + name + ".pem " + d + "ca.pem > " + d + name + ".chain");
    }

    TempDir m_dir;
    bool m_bMade = false;
};

}  // namespace ngtest
