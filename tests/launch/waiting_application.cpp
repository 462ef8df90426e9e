#include "tests/launch/waiting_application.h"

#include <gtest/gtest.h>

WaitingApplication start_waiting_application(const std::wstring& scratch,
                                             const std::wstring& before_wait) {
  std::wstring report_path = scratch + L"\\report";
  std::wstring ready_path = scratch + L"\\ready";
  WaitingApplication waiting = {};
  waiting.launch = start_launcher(launcher_path(L"app_launcher"), L"tool",
                                  L"report=" + report_path + L";" + before_wait + L"ready=" +
                                      ready_path + L";sleep=60000;exit=77");
  if (!wait_for_file(ready_path, 30000)) {
    ADD_FAILURE() << "the application did not start";
    return waiting;
  }
  Report report = read_report(report_path);
  waiting.target_directory = reported_target_directory(report);
  DWORD application_id = wcstoul(field(report, L"pid").c_str(), nullptr, 10);
  waiting.application = OpenProcess(SYNCHRONIZE, FALSE, application_id);
  EXPECT_NE(waiting.application, nullptr) << "cannot open the application, error " << GetLastError();
  return waiting;
}

bool application_ends(WaitingApplication* waiting, DWORD timeout_ms) {
  if (waiting->application == nullptr) return false;
  bool ended = WaitForSingleObject(waiting->application, timeout_ms) == WAIT_OBJECT_0;
  CloseHandle(waiting->application);
  waiting->application = nullptr;
  return ended;
}
