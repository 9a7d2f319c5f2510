#include "kernel/EmulatedParport.h"

#include <sys/ioctl.h>

#include <linux/parport.h>
#include <linux/ppdev.h>
#include <umockdev.h>

#include <cerrno>
#include <cstring>

namespace velk::test {

void EmulatedParport::SetFault(Fault fault) {
  std::lock_guard lock(mutex_);
  fault_ = fault;
}

bool EmulatedParport::Claimed() const {
  std::lock_guard lock(mutex_);
  return claimed_;
}

bool EmulatedParport::Handle(UMockdevIoctlClient* client, unsigned long request,
                             UMockdevIoctlData* arg) {
  if (fault_ == Fault::Gone) {
    Complete(client, -1, ENODEV);
    return true;
  }
  const auto answer = [client](bool ok, int error) {
    Complete(client, ok ? 0 : -1, ok ? 0 : error);
    return true;
  };
  switch (request) {
    case PPCLAIM:
      if (fault_ == Fault::BusyClaim) return answer(false, EBUSY);
      answer(!claimed_, EINVAL);
      claimed_ = true;
      return true;
    case PPRELEASE:
      answer(claimed_, EINVAL);
      claimed_ = false;
      return true;
    case PPSETMODE:
    case PPGETMODE: {
      IoctlDataPtr mode = Resolve(arg, 0, sizeof(int));
      if (request == PPSETMODE) {
        std::memcpy(&mode_, mode->data, sizeof mode_);
      } else {
        std::memcpy(mode->data, &mode_, sizeof mode_);
      }
      return answer(true, 0);
    }
    case PPWDATA:
    case PPRDATA:
    case PPRSTATUS:
    case PPWCONTROL:
    case PPRCONTROL:
      break;
    default:
      return false;
  }
  // The lines: ppdev refuses them to a file that has not claimed the port.
  if (!claimed_) return answer(false, EINVAL);
  IoctlDataPtr byte = Resolve(arg, 0, 1);
  uint8_t& value = byte->data[0];
  switch (request) {
    case PPWDATA:
      data_ = value;
      adapter_.vbOut(base_, value);
      break;
    case PPRDATA:
      value = data_;
      break;
    case PPRSTATUS:
      value = static_cast<uint8_t>(adapter_.vbInp(static_cast<uint16_t>(base_ + 1)));
      break;
    case PPWCONTROL:
      control_ = value;
      adapter_.vbOut(static_cast<uint16_t>(base_ + 2), value);
      break;
    default:  // PPRCONTROL
      value = control_;
      break;
  }
  return answer(true, 0);
}

}  // namespace velk::test
