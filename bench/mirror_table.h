// The rows mirror_bench measures and the table it prints: one row per site,
// setting, keep-alive, tool and number of connections, each the median of
// its repeats.
#pragma once

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "tool_run.h"

namespace bench {

// What a tool left in its folder: which page markers, how many images.
struct Found {
  std::set<int> pages;
  std::set<int> changed;
  int images = 0;
};

// One run of a tool: its mirror, then its update after the site changed.
struct Pass {
  Measure mirror;
  Measure update;
  double inFlight = -1;  // transfers in flight on average during the mirror; -1 unknown
  long connections = 0;  // connections the server saw during the mirror
  Found found;
  int changesFound = 0;
};

struct Row {
  std::string site;
  std::string setting;
  bool keepAlive = false;
  std::string tool;
  int connections = 1;
  int delayMs = 0;  // per request, 0 on plain loopback
  std::vector<Pass> passes;
  std::string note;

  // The pass of median mirror time: its figures belong together.
  const Pass* Median() const {
    std::vector<const Pass*> ok;
    for (const Pass& pass : passes)
      if (pass.mirror.exitCode >= 0) ok.push_back(&pass);
    if (ok.empty()) return nullptr;
    std::sort(ok.begin(), ok.end(), [](const Pass* a, const Pass* b) { return a->mirror.wall < b->mirror.wall; });
    return ok[ok.size() / 2];
  }
  bool SameRun(const Row& other) const {
    return other.site == site && other.setting == setting && other.keepAlive == keepAlive &&
           other.connections == connections;
  }
};

inline void PrintRows(const std::vector<Row>& rows) {
  std::printf("\n%-5s %-9s %-3s %-8s %2s | %7s %6s %6s %6s %5s %5s %6s %6s %9s | %7s %6s %6s %5s %5s | %s\n", "site",
              "setting", "ka", "tool", "cn", "wall s", "CPU s", "peakMB", "reqs", "MB", "tcp", "flight", "limit",
              "pgs+imgs", "upd s", "updCPU", "updreq", "updMB", "chg", "x wget2 wall/CPU/mem");
  for (const Row& row : rows) {
    const Pass* pass = row.Median();
    const Pass* wget2 = nullptr;
    for (const Row& other : rows)
      if (other.tool == "wget2" && row.SameRun(other)) wget2 = other.Median();
    std::string ratio = "-";
    if (pass && wget2 && row.tool != "wget2" && wget2->mirror.wall > 0 && wget2->mirror.cpu > 0 &&
        wget2->mirror.peakMb > 0) {
      char text[64];
      std::snprintf(text, sizeof text, "%.2f / %.2f / %.2f", pass->mirror.wall / wget2->mirror.wall,
                    pass->mirror.cpu / wget2->mirror.cpu, pass->mirror.peakMb / wget2->mirror.peakMb);
      ratio = text;
    }
    std::printf("%-5s %-9s %-3s %-8s %2d | ", row.site.c_str(), row.setting.c_str(), row.keepAlive ? "on" : "off",
                row.tool.c_str(), row.connections);
    if (!pass) {
      std::printf("not run\n");
    } else {
      const Measure& m = pass->mirror;
      const Measure& u = pass->update;
      char flight[16] = "-";
      char limit[16] = "-";
      if (pass->inFlight >= 0) std::snprintf(flight, sizeof flight, "%.2f", pass->inFlight);
      // Every request waits the delay, and a connection carries one at a time.
      if (row.delayMs > 0)
        std::snprintf(limit, sizeof limit, "%.2f", static_cast<double>(m.requests) * row.delayMs / 1000.0 /
                                                       row.connections);
      char stored[32];
      std::snprintf(stored, sizeof stored, "%zu+%d", pass->found.pages.size(), pass->found.images);
      std::printf("%7.2f %6.2f %6.1f %6ld %5.1f %5ld %6s %6s %9s | %7.2f %6.2f %6ld %5.2f %2d/11 | %s\n", m.wall,
                  m.cpu, m.peakMb, m.requests, m.mbytes, pass->connections, flight, limit, stored, u.wall, u.cpu,
                  u.requests, u.mbytes, pass->changesFound, ratio.c_str());
    }
    if (!row.note.empty()) std::printf("    %s\n", row.note.c_str());
  }
  std::printf("\nfigures: median of the repeats by mirror wall time; cn connections asked for; tcp connections the "
              "server saw; flight: transfers in flight on average (time requests spent between the end of their "
              "header and their answer's last byte, summed, over the wall time; delayed settings only); limit: "
              "requests x delay / connections; tls-Nms rows hold every read from the client, so a handshake costs "
              "two delays the limit leaves out and counts in flight; updMB: bodies sent in the update\n");
  std::printf("chg: of the 9 changed pages, those whose new text was stored; of the 2 removed, those whose copy "
              "went away\n");
}

}  // namespace bench
