// The link's serial port on Windows (the port's own handle in the Qt event
// loop), under Wine against the simulated instrument: the test command starts
// qel-sim ten times faster than real time on a pseudo-terminal and names it as
// COM port in QEL_TEST_COM; without one those cases are skipped.
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
  ASSERT_TRUE(port.Open(com, 115200));
  EXPECT_EQ(port.CtsSupport(), CtsReport::None);  // a pseudo-terminal has no modem lines

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

}  // namespace
}  // namespace qel

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
