#include "measure/RunComment.h"

#include <cstdio>

#include "core/GyroRange.h"
#include "core/NumberText.h"
#include "registers/Session.h"

namespace velk {

std::string InterfaceText(const Session& session) {
  const Analyzer& config = session.analyzer;
  if (config.InterfaceType == interface_type::kUsbCard)
    return "USB card " + session.usb.SelectedUsbBoard.DeviceName;
  char text[32];
  std::snprintf(text, sizeof text, "parallel port 0x%X", static_cast<uint16_t>(config.PortAddress));
  return text;
}

std::string RunComment(Session& session, const std::string& interfaceText, int32_t smplPrd,
                       int32_t sensAvg, int32_t model) {
  Reg47120& reg = session.reg;
  const float period = Reg47120::SamplePeriodMs(smplPrd);
  int32_t avg = sensAvg & 7;
  reg.AveragedPeriod(period, avg);
  std::string text =
      "# " + reg.ProductName + ", firmware " + FormatFixed(reg.FirmwareRevision, 1) + ", " +
      interfaceText + ", range " +
      std::to_string(RangeAt(RangePosition(sensAvg)).fullScale / ModelDivisor(model)) +
      " Dgr/S, sample period " + FormatFixed(period, 2) + " mS, averaging " + std::to_string(avg) +
      " (" + std::to_string(reg.AvgTaps) + " taps)";
  Spi47120& spi = session.spi;
  spi.ReadRegister(slot::Msc_Ctrl);
  if ((spi.RegData & 0x100) != 0) text += ", positive self-test on";
  if ((spi.RegData & 0x200) != 0) text += ", negative self-test on";
  char words[80];
  std::snprintf(words, sizeof words, ", Smpl_Prd=0x%02X, Sens_Avg=0x%04X, model %d\n",
                static_cast<unsigned>(smplPrd & 0xFFFF), static_cast<unsigned>(sensAvg & 0xFFFF),
                static_cast<int>(model));
  return text + words;
}

}  // namespace velk
