// SDRAM load and export over either link, the factory-restore instructions and the connection test.
#include <algorithm>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "link/command_files.h"
#include "link/maintenance_commands.h"
#include "platform/file_io.h"
#include "platform/icmp_echo.h"
#include "platform/timing.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

// Serial SDRAM loader bytes; the starts are answered by a run of eight equal bytes.
constexpr uint8_t kLoadStart = 0x00;    // eight
constexpr uint8_t kExportStart = 0xFF;  // eight
constexpr uint8_t kChunkLead = 0x08;    // load: then eight data bytes; export: the phone sends eight
constexpr uint8_t kLoadEnd = 0xFF;
constexpr uint8_t kExportEnd = 0x00;
constexpr int kRun = 8;

constexpr int kStartWait = 2000;
constexpr int kChunkWait = 1000;
constexpr int kLoadEndPause = 10;  // lets the end byte leave before the port is closed
constexpr int kBulkPause = 1;

// The whole SDRAM buffer, zeroed: a last serial chunk past the file's end carries zeros.
std::unique_ptr<SdramImage> AllocateSdram() {
  return std::unique_ptr<SdramImage>(new (std::nothrow) SdramImage{});
}

}  // namespace

bool CMaintenanceCommands::LoadSdram() {
  auto start =
      StartWithFile(FileDialogSpec::Mode::Open, {"LoadSdram", "SrcName", "sdram.dat"}, "*.dat", kDataFilter);
  if (!start) return false;
  const CommandValues& values = start->values;
  const bool kept = start->kept;
  CInputFile in;
  if (!in.OpenRegular(start->path)) {
    ui_.Message(FileFailureText("Can not open source file", in.Error()));
    return false;
  }
  auto buffer = AllocateSdram();
  if (!buffer) {
    ui_.Message("Can not malloc memory");
    return false;
  }
  // A longer file loads its first 640000 bytes only.
  std::vector<uint8_t> data;
  if (!in.ReadUpTo(data, kSdramSize)) {
    ui_.Message(FileFailureText("Can not open source file", in.Error()));
    return false;
  }
  in.Close();
  const size_t length = data.size();
  std::ranges::copy(data, buffer->begin());
  switch (values.linkType) {
    case 0:
      return WriteSdramOverSerial(values.portName, *buffer, length) && kept;
    case 1:
      return link_.SendImage(values.phone, std::span(*buffer).first(length), kNoCommand, 0x00) && kept;
    default:
      return false;
  }
}

bool CMaintenanceCommands::WriteSdramOverSerial(const std::string& portName, const SdramImage& buffer,
                                                size_t length) {
  if (!StartSerialExchange(portName, kRun, kLoadStart, kStartWait, "Can not connect to Quill(3)"))
    return false;
  auto progress = ui_.OpenProgress();
  progress->SetStep(kRun);
  progress->SetRange(0, static_cast<int>(length));
  // The buffer is a whole number of chunks long, so a last partial chunk reads its zeros.
  for (size_t index = 0; index < length; index += kRun) {
    progress->SetText("Write data " + std::to_string(index));
    WriteSerialChunk(kChunkLead, std::span(buffer).subspan(index).first<kSerialChunkBytes>());
    if (!link_.WaitSerialAck(kChunkWait))
      return link_.Fail(LinkKind::Serial, "Write operation failed", progress.get());
    progress->Step();
  }
  link_.WriteSerial(kLoadEnd);
  SleepMs(kLoadEndPause);
  progress->Close();
  link_.StopSerialLink();
  return true;
}

bool CMaintenanceCommands::SaveSdram() {
  auto start =
      StartWithFile(FileDialogSpec::Mode::Save, {"SaveSdram", "DstName", "sdram.dat"}, "*.dat", kDataFilter);
  if (!start) return false;
  const CommandValues& values = start->values;
  const bool kept = start->kept;
  // A length outside 0..640000 has been refused with the range message; only the export stops.
  if (!values.sdramLength) return false;
  const size_t length = std::min(*values.sdramLength, kSdramSize);
  // The destination is made ready before the phone is read, so one that cannot be written costs no
  // traffic; what is read reaches it whole at the commit, or the destination stays as it was.
  COutputFile out;
  if (!out.Create(start->path)) {
    ui_.Message(FileFailureText("Can not create dest file", out.Error()));
    return false;
  }
  auto buffer = AllocateSdram();
  if (!buffer) {
    ui_.Message("Can not malloc memory");
    return false;
  }
  bool read = false;
  switch (values.linkType) {
    case 0:
      read = ReadSdramOverSerial(values.portName, *buffer, length);
      break;
    case 1:
      read = link_.ReadImage(values.phone, *buffer, length);
      break;
    default:
      break;
  }
  if (!read) return false;  // the destination is abandoned with the output
  out.Write(buffer->data(), length);
  if (!out.Commit()) {
    ui_.Message(FileFailureText("Can not write dest file", out.Error()));
    return false;
  }
  return kept;
}

bool CMaintenanceCommands::ReadSdramOverSerial(const std::string& portName, std::span<uint8_t> buffer,
                                               size_t length) {
  if (!StartSerialExchange(portName, kRun, kExportStart, kStartWait, "Can not connect to Quill(4)"))
    return false;
  link_.SetSerialBulk(buffer);
  SleepMs(kBulkPause);
  auto progress = ui_.OpenProgress();
  progress->SetStep(kRun);
  progress->SetRange(0, static_cast<int>(length));
  for (size_t offset = 0; offset < length; offset += kRun) {
    progress->SetText("Reading data " + std::to_string(offset));
    link_.WriteSerial(kChunkLead);
    // The bulk rule signals after each further eight bytes.
    if (!link_.WaitSerialAck(kChunkWait))
      return link_.Fail(LinkKind::Serial, "Read operation failed", progress.get());
    progress->Step();
  }
  link_.WriteSerial(kExportEnd);
  link_.ClearSerialBulk();
  SleepMs(kBulkPause);
  progress->Close();
  // The serial link stays with its holder until the next serial stop.
  return true;
}

bool CMaintenanceCommands::ShowFactoryRestore() {
  ui_.MessageBox(
      "Please operate on the phone keypad\naccording to the following sequence:\n\n\n "
      "UP->Set/OK->UP->Set/OK->UP->UP\n",
      "Restore Factory", MbButtons::Ok, MbIcon::Information);
  return true;
}

bool CMaintenanceCommands::TestConnection() {
  // The address in the IP field at the click, not the stored one; no option changes.
  const uint32_t phone = host_.IpFieldAddress();
  if (!link_.TargetAllowed(phone)) return false;
  const std::string address = AddressToString(HostToNetworkAddress(phone));
  const EchoResult echo = SendIcmpEcho(address);
  switch (echo.status) {
    case EchoStatus::Success:
      ui_.MessageBox("connection succeeds，you may start updating now!", "connection succeeds", MbButtons::Ok,
                     MbIcon::Information);
      return true;
    case EchoStatus::NotSent:
      // Nothing reached the network, so nothing is known of the phone: say what stands in the way here.
      ui_.MessageBox(
          "Can not test the connection to " + address +
              ": this computer does not let the tool send an ICMP echo request (" + echo.reason +
              ").\nAllow ICMP echo sockets for this user (sysctl net.ipv4.ping_group_range) or give "
              "the tool the CAP_NET_RAW capability.",
          "Connection test not sent", MbButtons::Ok, MbIcon::Stop);
      return false;
    case EchoStatus::NoReply:
      break;
  }
  ui_.MessageBox("Can't connect to phone IP address " + address +
                     ".\nPlease check the network configuration of your computer or phone.",
                 "Can't connect to phone IP address", MbButtons::Ok, MbIcon::Stop);
  return false;
}

}  // namespace quill
