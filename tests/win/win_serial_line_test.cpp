// The serial line's status on Windows. Wine carries a COM port to a Unix
// terminal: the test command starts qel-sim on a pseudo-terminal and names
// it as COM port in QEL_TEST_COM; without one that case is skipped.
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
  EXPECT_EQ(line.ErrorCount(), std::nullopt);
  EXPECT_EQ(line.Fetch(), std::nullopt);
  EXPECT_EQ(line.CtsOn(), std::nullopt);
  EXPECT_EQ(line.Probe(), CtsReport::None);
  CloseHandle(f);
  WinSerialLine gone(INVALID_HANDLE_VALUE);
  EXPECT_EQ(gone.Fetch(), std::nullopt);
  EXPECT_EQ(gone.Probe(), CtsReport::None);
}

// Receive errors only: a full output buffer or a mode error is not the line's.
TEST(WinSerialLine, OnlyReceiveErrorsCount) {
  for (unsigned long e : {CE_FRAME, CE_RXPARITY, CE_OVERRUN, CE_RXOVER, CE_BREAK}) EXPECT_TRUE(LineErrorsIn(e)) << e;
  EXPECT_TRUE(LineErrorsIn(CE_TXFULL | CE_FRAME));
  EXPECT_FALSE(LineErrorsIn(0));
  EXPECT_FALSE(LineErrorsIn(CE_TXFULL | CE_MODE));
}

// Finishes an overlapped call on a handle opened for overlapped I/O.
bool Finish(HANDLE port, BOOL started, OVERLAPPED& ov, DWORD& bytes) {
  if (started) return GetOverlappedResult(port, &ov, &bytes, FALSE);
  return GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(port, &ov, &bytes, TRUE);
}

// The simulated instrument streams its telegrams to a port opened as the
// program opens it (overlapped): the queue fills and the line has no errors;
// a pseudo-terminal has no modem lines, so no pacing.
TEST(WinSerialLine, TheSimulatedInstrumentsStreamIsQueuedWithoutErrors) {
  const char* com = std::getenv("QEL_TEST_COM");
  if (!com || !*com) GTEST_SKIP() << "no simulated instrument: QEL_TEST_COM is not set";
  HANDLE port = CreateFileW(WideFromUtf8(std::string("\\\\.\\") + com).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE) << com << ": " << WinReason(GetLastError());
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(GetCommState(port, &dcb));
  dcb.BaudRate = 115200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  ASSERT_TRUE(SetCommState(port, &dcb));
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  WinSerialLine line(port);

  // The instrument sends 10-byte telegrams; the port's own event says when
  // bytes have come, until a few telegrams wait.
  ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
  std::optional<WinSerialLine::Status> status;
  for (int i = 0; i < 1000; ++i) {
    status = line.Fetch();
    ASSERT_TRUE(status);
    if (status->Queued >= 30) break;
    OVERLAPPED ov{};
    ov.hEvent = done;
    DWORD events = 0, bytes = 0;
    ASSERT_TRUE(Finish(port, WaitCommEvent(port, &events, &ov), ov, bytes)) << WinReason(GetLastError());
  }
  EXPECT_GE(status->Queued, 30u);
  EXPECT_FALSE(status->Errors);
  // Where the driver counts errors (Wine does not), there are none.
  const auto counted = line.ErrorCount();
  EXPECT_TRUE(!counted || *counted == 0) << *counted;

  char buf[30];
  OVERLAPPED ov{};
  ov.hEvent = done;
  DWORD got = 0;
  ASSERT_TRUE(Finish(port, ReadFile(port, buf, sizeof buf, &got, &ov), ov, got));
  EXPECT_EQ(got, 30u);
  // The instrument's bytes, whole: 30 of them hold a telegram's start.
  EXPECT_NE(std::string(buf, sizeof buf).find("\x7F\xAA"), std::string::npos);
  EXPECT_EQ(line.CtsOn(), std::nullopt);
  EXPECT_EQ(line.Probe(), CtsReport::None);
  CloseHandle(done);
  CloseHandle(port);
}

}  // namespace
}  // namespace qel
