// The serial line's status on Windows. Wine carries a COM port to a Unix
// terminal: the test command starts qel-sim on a pseudo-terminal and names
// it as COM port in QEL_TEST_COM; without one those cases are skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "link/win/win_serial_line.h"
#include "model/win_text.h"
#include "../model/test_dir.h"

namespace qel {
namespace {

// A handle that is no serial port: nothing is made up.
TEST(WinSerialLine, AHandleThatIsNoPortReportsNothing) {
  test::TempDir dir;
  HANDLE f = CreateFileW(WideFromUtf8(dir.File("не порт")).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  WinSerialLine line(f);
  EXPECT_EQ(line.Fetch(), std::nullopt);
  EXPECT_EQ(line.CtsOn(), std::nullopt);
  EXPECT_EQ(line.Probe(), CtsReport::None);
  CloseHandle(f);
  WinSerialLine gone(INVALID_HANDLE_VALUE);
  EXPECT_EQ(gone.Fetch(), std::nullopt);
  EXPECT_EQ(gone.Probe(), CtsReport::None);
}

HANDLE OpenTestPort(std::string& name) {
  const char* com = std::getenv("QEL_TEST_COM");
  if (!com || !*com) return INVALID_HANDLE_VALUE;
  name = com;
  HANDLE h = CreateFileW(WideFromUtf8("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(h, &dcb);
  dcb.BaudRate = 115200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  SetCommState(h, &dcb);
  return h;
}

// The simulated instrument streams its telegrams: the queue fills and the
// line has no errors; a pseudo-terminal has no modem lines, so no pacing.
TEST(WinSerialLine, TheSimulatedInstrumentsStreamIsQueuedWithoutErrors) {
  std::string name;
  HANDLE port = OpenTestPort(name);
  if (name.empty()) GTEST_SKIP() << "no simulated instrument: QEL_TEST_COM is not set";
  ASSERT_NE(port, INVALID_HANDLE_VALUE) << name << ": " << WinReason(GetLastError());
  WinSerialLine line(port);
  // The instrument sends 10-byte telegrams; the port's own event says when
  // bytes have come, until a few telegrams wait.
  ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
  std::optional<WinSerialLine::Status> status;
  for (int i = 0; i < 1000; ++i) {
    status = line.Fetch();
    ASSERT_TRUE(status);
    if (status->Queued >= 30) break;
    DWORD events = 0;
    ASSERT_TRUE(WaitCommEvent(port, &events, nullptr)) << WinReason(GetLastError());
  }
  EXPECT_GE(status->Queued, 30u);
  EXPECT_FALSE(status->Errors);
  char buf[30];
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(port, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(got, 30u);
  EXPECT_EQ(line.CtsOn(), std::nullopt);
  EXPECT_EQ(line.Probe(), CtsReport::None);
  CloseHandle(port);
}

}  // namespace
}  // namespace qel
