#pragma once

#include <sys/ioctl.h>

#include <linux/ppdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "transport/parallel/PortOs.h"

namespace velk::test {

// An operating system with an in-memory /proc and /dev that logs each call the port backend
// makes as text ("open /dev/parport0", "PPWDATA A5", "ioperm 378 on", "outb 379 40").
class FakePortOs final : public PortOs {
 public:
  void AddParport(int n, const std::string& baseAddr) {
    files["/proc/sys/dev/parport/parport" + std::to_string(n) + "/base-addr"] = baseAddr;
  }

  std::optional<std::string> ReadTextFile(const std::string& path) override {
    auto it = files.find(path);
    return it == files.end() ? std::nullopt : std::optional(it->second);
  }
  std::vector<std::string> ListDirectory(const std::string& path) override {
    std::set<std::string> names;
    for (const auto& [file, text] : files)
      if (file.starts_with(path + "/"))
        names.insert(
            file.substr(path.size() + 1, file.find('/', path.size() + 1) - path.size() - 1));
    return {names.begin(), names.end()};
  }
  int Open(const std::string& path) override {
    if (!nodes.contains(path)) return -ENOENT;
    if (nodes[path] != 0) return -nodes[path];
    log.push_back("open " + path);
    return 3;
  }
  int Ioctl(int, unsigned long request, uint8_t* arg) override {
    static const std::map<unsigned long, std::string> names = {
        {PPCLAIM, "PPCLAIM"},      {PPRELEASE, "PPRELEASE"}, {PPWDATA, "PPWDATA"},
        {PPRDATA, "PPRDATA"},      {PPRSTATUS, "PPRSTATUS"}, {PPWCONTROL, "PPWCONTROL"},
        {PPRCONTROL, "PPRCONTROL"}};
    if (request == PPCLAIM && claimError) return -claimError;
    if (request == PPRDATA || request == PPRSTATUS || request == PPRCONTROL) *arg = input;
    log.push_back(names.at(request) + (request == PPWDATA ? " " + Hex(*arg) : ""));
    return 0;
  }
  void Close(int fd) override { log.push_back("close " + std::to_string(fd)); }
  int Ioperm(uint16_t from, int count, bool on) override {
    log.push_back("ioperm " + Hex(from) + (count == 3 ? "" : " count?") + (on ? " on" : " off"));
    return on ? -iopermError : 0;
  }
  void Outb(uint8_t value, uint16_t port) override {
    log.push_back("outb " + Hex(port) + " " + Hex(value));
  }
  uint8_t Inb(uint16_t port) override {
    log.push_back("inb " + Hex(port));
    return input;
  }
  std::string ProgramPath() override { return "/opt/velk/velk47120"; }

  long Count(const std::string& prefix) const {
    return std::count_if(log.begin(), log.end(),
                         [&](const std::string& s) { return s.starts_with(prefix); });
  }
  static std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
  }

  std::map<std::string, std::string> files;
  std::map<std::string, int> nodes;  // device node -> errno its open fails with, or 0
  int claimError = 0;
  int iopermError = 0;
  uint8_t input = 0xFF;  // what every register read returns
  std::vector<std::string> log;
};

}  // namespace velk::test
