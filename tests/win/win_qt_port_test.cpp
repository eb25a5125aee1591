// The link's serial port on Windows (the port's own handle in the Qt event
// loop), under Wine against the simulated instrument: the test command starts
// qel-sim ten times faster than real time on a pseudo-terminal and names it as
// COM port in QEL_TEST_COM; without one those cases are skipped.
#include <windows.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "link/qt/qt_serial_port.h"

namespace qel {
namespace {

// Runs the event loop until `done` holds, at most `ms` milliseconds.
bool RunUntil(const std::function<bool()>& done, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

std::string TestCom() {
  const char* com = std::getenv("QEL_TEST_COM");
  return com ? com : "";
}

// The ports the system names, with the driver's device as description.
TEST(QtSerialPortWin, ListsThePortsTheSystemNames) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t port[] = L"COM42";
  ASSERT_EQ(RegSetValueExW(key, L"\\Device\\QelTest", 0, REG_SZ, reinterpret_cast<const BYTE*>(port), sizeof port),
            ERROR_SUCCESS);
  const QList<QtSerialPort::PortSeen> ports = QtSerialPort::PortsHere();
  RegDeleteValueW(key, L"\\Device\\QelTest");
  RegCloseKey(key);
  bool seen = false;
  for (const QtSerialPort::PortSeen& p : ports)
    if (p.Name == "COM42") seen = p.Description == "\\Device\\QelTest";
  EXPECT_TRUE(seen) << ports.size();
}

TEST(QtSerialPortWin, OpensOnlyASerialPort) {
  QtSerialPort port;
  EXPECT_FALSE(port.Open("COM77", 115200));  // not there
  EXPECT_FALSE(port.IsOpen());
  // A device that is there but no serial port: it has no line to configure.
  EXPECT_FALSE(port.Open("NUL", 115200));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.FetchLineStatus().Waiting, 0u);
}

TEST(QtSerialPortWin, TakesTheInstrumentsStreamPausedOrNot) {
  const std::string com = TestCom();
  if (com.empty()) GTEST_SKIP() << "no simulated instrument: QEL_TEST_COM is not set";
  QtSerialPort port;
  int activity = 0;
  QObject::connect(&port, &QtSerialPort::Activity, [&] { ++activity; });
  // The long form of the name opens the same port.
  ASSERT_TRUE(port.Open("\\\\.\\" + com, 115200)) << com;
  port.Close();
  ASSERT_TRUE(port.Open(com, 115200));
  EXPECT_EQ(port.CtsSupport(), CtsReport::None);  // a pseudo-terminal has no modem lines
  // The instrument's line: 8 data bits, no parity, 1 stop bit, no flow
  // control of any kind.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(GetCommState(port.NativeHandle(), &dcb));
  EXPECT_EQ(dcb.BaudRate, 115200u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_FALSE(dcb.fOutxCtsFlow);
  EXPECT_FALSE(dcb.fOutX);
  EXPECT_FALSE(dcb.fInX);

  // The port's event wakes the loop and the bytes are queued for the session.
  ASSERT_TRUE(RunUntil([&] { return activity > 0 && port.BytesWaiting() >= 200; }));
  SerialPort::LineStatus status = port.FetchLineStatus();
  EXPECT_FALSE(status.Errors);
  ASSERT_GE(status.Waiting, 200u);
  std::vector<std::uint8_t> bytes(status.Waiting);
  ASSERT_EQ(port.Read(bytes.data(), bytes.size()), bytes.size());
  EXPECT_EQ(port.BytesWaiting(), 0u);
  EXPECT_EQ(port.BytesRead(), bytes.size());
  // The instrument's bytes, whole: its telegrams start 7F AA.
  EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("\x7F\xAA"), std::string::npos);

  // Not paused, every event is waited for again: the line keeps waking the
  // loop, and a well line is never taken for a lost one.
  for (int i = 0; i < 100; ++i) {
    const int before = activity;
    ASSERT_TRUE(RunUntil([&] { return activity > before; })) << i;
    bytes.resize(port.BytesWaiting());
    port.Read(bytes.data(), bytes.size());
  }
  EXPECT_FALSE(port.Lost());
  EXPECT_FALSE(port.FetchLineStatus().Errors);

  // Paused, the line wakes the loop no more (once at most, for the event
  // already waited for); the batches take the bytes themselves.
  port.SetReadPaused(true);
  EXPECT_TRUE(port.ReadPaused());
  const std::uint64_t wakes = port.Notifications();
  const int activityBefore = activity;
  ASSERT_TRUE(RunUntil([&] {
    port.PullWaiting();
    return port.BytesWaiting() >= 20000;
  }));
  EXPECT_LE(port.Notifications() - wakes, 1u);
  EXPECT_EQ(activity, activityBefore);

  // A loop that has fallen behind gives up the oldest bytes and says so.
  ASSERT_TRUE(RunUntil([&] {
    port.PullWaiting();
    return port.BytesWaiting() > static_cast<std::size_t>(QtSerialPort::ReadQueueBytes);
  }, 30000));
  const std::size_t before = port.BytesWaiting();
  status = port.FetchLineStatus();
  EXPECT_TRUE(status.Errors);
  EXPECT_EQ(status.Waiting, static_cast<std::size_t>(QtSerialPort::ReadQueueBytes));
  EXPECT_EQ(port.Overruns(), static_cast<qint64>(before) - QtSerialPort::ReadQueueBytes);
  EXPECT_FALSE(port.FetchLineStatus().Errors);  // said once
  // While the loop stays behind, the port reads no more than a little
  // beyond the bound, however long the line streams.
  RunUntil([&] {
    port.PullWaiting();
    return false;
  }, 1000);
  EXPECT_LE(port.BytesWaiting(), static_cast<std::size_t>(QtSerialPort::ReadQueueBytes) + 16 * 1024);

  // The session takes what waits; going on again, the line's own event
  // wakes the loop.
  bytes.resize(port.BytesWaiting());
  ASSERT_EQ(port.Read(bytes.data(), bytes.size()), bytes.size());
  port.SetReadPaused(false);
  EXPECT_FALSE(port.ReadPaused());
  ASSERT_TRUE(RunUntil([&] { return activity > activityBefore && port.BytesWaiting() > 0; }));

  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.BytesWaiting(), 0u);
  EXPECT_FALSE(port.Lost());
}

// A line gone quiet (the simulator silent for seconds): a look at the port
// comes back at once with nothing, and the line is not taken for lost.
TEST(QtSerialPortWin, AQuietLineHoldsNothingBack) {
  const std::string com = TestCom();
  if (com.empty() || !std::getenv("QEL_TEST_QUIET")) GTEST_SKIP() << "no simulator with silences";
  QtSerialPort port;
  int activity = 0;
  QObject::connect(&port, &QtSerialPort::Activity, [&] { ++activity; });
  ASSERT_TRUE(port.Open(com, 115200));
  std::vector<std::uint8_t> bytes;
  auto takeAll = [&] {
    bytes.resize(port.BytesWaiting());
    port.Read(bytes.data(), bytes.size());
  };
  ASSERT_TRUE(RunUntil([&] { return activity > 0; }));
  // The silence: no event for 300 ms.
  QElapsedTimer sinceBytes;
  sinceBytes.start();
  ASSERT_TRUE(RunUntil([&] {
    if (port.BytesWaiting() > 0) {
      takeAll();
      sinceBytes.start();
    }
    return sinceBytes.elapsed() > 300;
  }, 20000));
  port.SetReadPaused(true);
  QElapsedTimer look;
  look.start();
  EXPECT_FALSE(port.PullWaiting());
  EXPECT_LT(look.elapsed(), 1000) << "a look at a quiet port waited for bytes";
  EXPECT_FALSE(port.Lost());
  // The line speaks again: taken as before.
  port.SetReadPaused(false);
  const int before = activity;
  ASSERT_TRUE(RunUntil([&] { return activity > before && port.BytesWaiting() > 0; }, 20000));
  EXPECT_FALSE(port.Lost());
}

}  // namespace
}  // namespace qel

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
