// The serial devices of a machine made up in a folder (QUILL_DEV_ROOT, QUILL_SYSFS_ROOT), `quilltool ports`
// and `ports map` over it, what a device that cannot be opened tells the user, and --device on a pty.
#include "transport/serial_devices.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_main.h"
#include "platform/settings_store.h"
#include "sim/serial_loader.h"
#include "tests/support/test_env.h"
#include "tests/support/tool_process.h"

namespace quill {
namespace {

namespace fs = std::filesystem;

// A machine with a real 16550 on ttyS0, a slot the 8250 driver keeps without hardware (ttyS1), a ttyS2
// sysfs does not know, an FTDI adapter with its by-id name, an Arduino on ttyACM0, two ttyUSB without
// sysfs entries, and names that are none of ours. The device nodes are links to distinct character devices.
class FakeMachine {
 public:
  FakeMachine() {
    const std::string dev = Dev(), sys = Sys();
    fs::create_directories(dev + "/serial/by-id");
    const char* nodes[][2] = {
        {"ttyS0", "/dev/null"},     {"ttyS1", "/dev/zero"},      {"ttyS2", "/dev/full"},
        {"ttyUSB0", "/dev/random"}, {"ttyACM0", "/dev/urandom"}, {"ttyUSB10", "/dev/null"},
        {"ttyUSB2", "/dev/zero"},   {"ttySAC0", "/dev/null"},    {"ttyprintk", "/dev/null"}};
    for (const auto& n : nodes) fs::create_symlink(n[1], dev + "/" + n[0]);
    test::WriteFile(dev + "/ttyUSB3", "a regular file");
    fs::create_symlink("../../ttyUSB0", dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0");

    // Since Linux 6.5 the serial core's port and controller devices stand between the tty and the UART.
    Device(sys, "ttyS0", "devices/pnp0/00:01/00:01:0/00:01:0.0", "port");
    Driver(sys, "devices/pnp0/00:01/00:01:0", "ctrl");
    Driver(sys, "devices/pnp0/00:01", "serial");
    test::WriteFile(sys + "/class/tty/ttyS0/type", "4\n");
    Device(sys, "ttyS1", "devices/platform/serial8250", "serial8250");
    test::WriteFile(sys + "/class/tty/ttyS1/type", "0\n");
    Device(sys, "ttyUSB0", "devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
    Usb(sys + "/devices/pci0/usb1/1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A10K");
    Device(sys, "ttyACM0", "devices/pci0/usb1/1-2/1-2:1.0", "cdc_acm");
    Usb(sys + "/devices/pci0/usb1/1-2", "2341", "0043", "Arduino (www.arduino.cc)", "", "");
    ::setenv("QUILL_DEV_ROOT", dev.c_str(), 1);
    ::setenv("QUILL_SYSFS_ROOT", (sys + "/").c_str(), 1);  // a trailing slash changes nothing
  }
  ~FakeMachine() {
    ::unsetenv("QUILL_DEV_ROOT");
    ::unsetenv("QUILL_SYSFS_ROOT");
  }
  std::string Dev() const { return dir_.File("dev"); }
  std::string Sys() const { return dir_.File("sys"); }
  std::string File(const std::string& name) const { return dir_.File(name); }

 private:
  static void Device(const std::string& sys, const std::string& tty, const std::string& device,
                     const std::string& driver) {
    fs::create_directories(sys + "/class/tty/" + tty);
    fs::create_directories(sys + "/" + device);
    fs::create_symlink(sys + "/" + device, sys + "/class/tty/" + tty + "/device");
    Driver(sys, device, driver);
  }
  static void Driver(const std::string& sys, const std::string& device, const std::string& driver) {
    fs::create_directories(sys + "/bus/drivers/" + driver);
    fs::create_symlink(sys + "/bus/drivers/" + driver, sys + "/" + device + "/driver");
  }
  static void Usb(const std::string& at, const char* vendor, const char* product, const char* maker,
                  const char* name, const char* serial) {
    test::WriteFile(at + "/idVendor", std::string(vendor) + "\n");
    test::WriteFile(at + "/idProduct", std::string(product) + "\n");
    test::WriteFile(at + "/manufacturer", std::string(maker) + "\n");
    if (*name) test::WriteFile(at + "/product", std::string(name) + "\n");
    if (*serial) test::WriteFile(at + "/serial", std::string(serial) + "\n");
  }
  test::TempDir dir_;
};

TEST(SerialDevices, OnlyPortsWithHardwareAreListedWithWhatSysfsKnows) {
  FakeMachine machine;
  const std::string dev = machine.Dev();
  const std::vector<SerialDevice> devices = ListSerialDevices();
  struct Row {
    std::string path, driver, vendor, product, maker, name, serial;
    std::vector<std::string> byId;
  };
  const Row expected[] = {
      {dev + "/ttyS0", "serial", "", "", "", "", "", {}},
      {dev + "/ttyUSB0",
       "ftdi_sio",
       "0403",
       "6001",
       "FTDI",
       "FT232R USB UART",
       "A10K",
       {dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0"}},
      {dev + "/ttyUSB2", "", "", "", "", "", "", {}},
      {dev + "/ttyUSB10", "", "", "", "", "", "", {}},
      {dev + "/ttyACM0", "cdc_acm", "2341", "0043", "Arduino (www.arduino.cc)", "", "", {}},
  };
  ASSERT_EQ(devices.size(), std::size(expected));
  for (size_t i = 0; i < devices.size(); ++i) {
    const SerialDevice& d = devices[i];
    const Row& e = expected[i];
    SCOPED_TRACE(e.path);
    EXPECT_EQ(d.path, e.path);
    EXPECT_EQ(d.driver, e.driver);
    EXPECT_EQ(d.vendorId, e.vendor);
    EXPECT_EQ(d.productId, e.product);
    EXPECT_EQ(d.manufacturer, e.maker);
    EXPECT_EQ(d.product, e.name);
    EXPECT_EQ(d.serial, e.serial);
    EXPECT_EQ(d.byId, e.byId);
  }
}

// `ports` shows the map and the devices, `ports map` stores through the store and says when it cannot.
TEST(SerialDevices, PortsListsAndMapsThroughTheStore) {
  test::ClearStore();
  FakeMachine machine;
  const std::string byId = machine.Dev() + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0";
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(cli::RunCli("ports", {"map", "COM2", byId}), 0);
  EXPECT_EQ(cli::RunCli("ports", {}), 0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(SettingsStore::Profile().GetString("Rs232", "COM2Device", ""), byId);
  EXPECT_NE(out.find("COM1  /dev/ttyS0  (default"), std::string::npos) << out;
  EXPECT_NE(out.find("COM2  " + byId + "  (stored)\n"), std::string::npos) << out;
  EXPECT_NE(out.find(machine.Dev() +
                     "/ttyUSB0  driver ftdi_sio  usb 0403:6001  \"FTDI\"  \"FT232R USB UART\"  serial A10K  "
                     "[COM2]\n    " +
                     byId + "\n"),
            std::string::npos)
      << out;

  struct Usage {
    std::vector<std::string> args;
    int exit;
  };
  const Usage usage[] = {{{"map", "COM3", "/dev/ttyUSB0"}, 2},
                         {{"map", "COM1", "ttyUSB0"}, 2},
                         {{"map", "COM1"}, 2},
                         {{"list"}, 2}};
  for (const Usage& u : usage) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(cli::RunCli("ports", u.args), u.exit) << u.args[0];
    ::testing::internal::GetCapturedStderr();
  }
  EXPECT_EQ(SettingsStore::Profile().GetString("Rs232", "COM1Device", "none"), "none");

  // A store that cannot be written: exit 1, naming the store file.
  test::WriteFile(machine.File("not-a-folder"), "");
  SettingsStore::SetLocation(machine.File("not-a-folder"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunCli("ports", {"map", "COM1", "/dev/ttyUSB0"}), 1);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Can not write the settings store\n" + machine.File("not-a-folder")), std::string::npos)
      << err;
}

// What the user reads when a device will not open: the device, the system's reason, and what to do.
TEST(SerialDevices, AFailedOpenNamesTheDeviceAndTheRemedy) {
  test::TempDir dir;
  const std::string device = dir.File("ttyUSB0");
  test::WriteFile(device, "");
  const group* dialout = ::getgrnam("dialout");
  const gid_t gid = dialout ? dialout->gr_gid : 0;
  const std::string groupName = dialout ? "dialout" : "root";
  ASSERT_EQ(::chown(device.c_str(), 0, gid), 0);
  ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
  EXPECT_EQ(SerialOpenFailureText(device, EACCES),
            device + ": Permission denied\nThe device belongs to the group " + groupName +
                ": add your user to it (sudo usermod -aG " + groupName + " \"$USER\"), then log in again.");
  ASSERT_EQ(::chmod(device.c_str(), 0600), 0);
  EXPECT_NE(SerialOpenFailureText(device, EACCES).find("ask the administrator"), std::string::npos);
  EXPECT_EQ(SerialOpenFailureText(device, EBUSY),
            device + ": Device or resource busy\nAnother program holds the device (fuser -v " + device +
                " names it).");
  EXPECT_EQ(SerialOpenFailureText(dir.File("gone"), ENOENT),
            dir.File("gone") + ": No such file or directory");
}

// The same through the tool, on a device the user may not open: run in a user namespace, where root's
// rights stop at a device owned by nobody. Skipped where the machine offers no such namespace.
TEST(SerialDevices, ADeviceTheUserMayNotOpenSaysWhatToDo) {
  test::TempDir dir;
  const std::string device = dir.File("ttyUSB9");
  if (::mknod(device.c_str(), S_IFCHR | 0660, makedev(1, 3)) != 0 ||
      ::chown(device.c_str(), 65534, 65534) != 0 || ::chmod(device.c_str(), 0660) != 0)
    GTEST_SKIP() << "cannot make a device node here";
  if (::access("/usr/bin/unshare", X_OK) != 0) GTEST_SKIP() << "no unshare";
  const std::string toolPath = std::string(QUILL_TEST_BINARY_DIR) + "/quilltool";
  test::ToolProcess tool;
  ASSERT_TRUE(tool.Start("/usr/bin/unshare", {"-r", toolPath, "--store", dir.File("store"), "sdram-save",
                                              "--device", device, "--length", "8", dir.File("s.dat")}));
  const int exit = tool.Wait();
  if (tool.Err().find("unshare:") != std::string::npos) GTEST_SKIP() << tool.Err();
  EXPECT_EQ(exit, 1);
  EXPECT_NE(tool.Err().find("Can not open rs232 port\n" + device +
                            ": Permission denied\nThe device belongs to the group "),
            std::string::npos)
      << tool.Err();
  EXPECT_NE(tool.Err().find("(sudo usermod -aG "), std::string::npos) << tool.Err();
  EXPECT_FALSE(test::FileExists(dir.File("s.dat")));
}

// --device opens a path for one run: the phone on a pty answers, and the store keeps no trace of it.
TEST(SerialDevices, DeviceServesOneRunAndIsNeverStored) {
  test::ClearStore();
  test::TempDir dir;
  sim::SerialLoader phone(sim::SerialLoader::Config{.eraseMs = 0, .closeWaitMs = 1000});
  std::vector<uint8_t> image(256);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
  phone.SetSdramImage(image);
  ASSERT_TRUE(phone.Start()) << phone.Error();
  ::testing::internal::CaptureStderr();
  const int exit =
      cli::RunCli("sdram-save", {"--device", phone.SlavePath(), "--length", "256", dir.File("s.dat")});
  const std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(exit, 0) << err;
  const std::vector<unsigned char> saved = test::ReadBytes(dir.File("s.dat"));
  EXPECT_EQ(std::vector<uint8_t>(saved.begin(), saved.end()), image);
  EXPECT_FALSE(SettingsStore::Profile().Contains("Rs232", "COM1Device"));
  EXPECT_FALSE(SettingsStore::Profile().Contains("Rs232", "COM2Device"));
  phone.Stop();

  // --device is the serial link's: with --tcp or --port it is a usage error, as a name without a path is.
  for (std::vector<std::string> args : {std::vector<std::string>{"--device", "/dev/ttyUSB0", "--tcp"},
                                        {"--device", "/dev/ttyUSB0", "--port", "COM2"},
                                        {"--device", "ttyUSB0"}}) {
    args.insert(args.end(), {"--length", "8", dir.File("t.dat")});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(cli::RunCli("sdram-save", args), 2);
    ::testing::internal::GetCapturedStderr();
  }
  EXPECT_FALSE(test::FileExists(dir.File("t.dat")));
}

}  // namespace
}  // namespace quill
