#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "transport/parallel/PortIo.h"

namespace velk::test {

// Records every port access; reads answer with a scripted function of the port.
class RecordingPortIo final : public PortIo {
 public:
  struct Access {
    bool write;
    uint16_t port;
    uint16_t value;
    bool operator==(const Access&) const = default;
  };

  void vbOut(uint16_t port, uint16_t value) override { log.push_back({true, port, value}); }
  uint16_t vbInp(uint16_t port) override {
    uint16_t value = input ? input(port) : 0xFF;
    log.push_back({false, port, value});
    return value;
  }

  // Access is granted unless `refusal` says why not.
  bool ObtainAccess(uint16_t base, std::string& advice) override {
    sought.push_back(base);
    advice = refusal;
    return refusal.empty();
  }

  std::vector<Access> log;
  std::function<uint16_t(uint16_t port)> input;
  std::vector<uint16_t> sought;  // the bases access was sought for
  std::string refusal;
};

}  // namespace velk::test
