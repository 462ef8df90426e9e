#include "tests/support/test_support.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

std::wstring test_program_directory() {
  wchar_t path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  std::wstring text(path, length);
  return text.substr(0, text.find_last_of(L'\\'));
}

std::string read_whole_file(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string content;
  char piece[65536];
  DWORD got = 0;
  while (ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) content.append(piece, got);
  CloseHandle(file);
  return content;
}

std::string read_test_data(const wchar_t* name) {
  std::wstring path = test_program_directory() + L"\\" + name;
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    ADD_FAILURE() << "cannot open test data " << std::string(path.begin(), path.end())
                  << " (error " << GetLastError() << ")";
    return std::string();
  }
  return read_whole_file(path);
}

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

// A death-test child runs its test from the start again, so the name must
// come out the same in parent and child: the test's name and how many
// captures this run of it made before. The count starts afresh with every
// run of a test, also when a test program repeats its tests.
static int capture_serial;

namespace {
class CaptureSerialReset : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { capture_serial = 0; }
};
const bool capture_serial_reset_installed =
    (testing::UnitTest::GetInstance()->listeners().Append(new CaptureSerialReset), true);
}  // namespace

std::wstring capture_path() {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  std::string file = "capture-" + name + "-" + std::to_string(++capture_serial) + ".txt";
  return test_program_directory() + L"\\" + std::wstring(file.begin(), file.end());
}

static void redirect_stream(FILE* stream, const wchar_t* path) {
  fflush(stream);
  int fd = _wopen(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, 0644);
  _dup2(fd, _fileno(stream));
  _close(fd);
}

void redirect_output_to_capture(const wchar_t* path) {
  redirect_stream(stdout, path);
  fflush(stderr);
  _dup2(_fileno(stdout), _fileno(stderr));
  setvbuf(stderr, nullptr, _IONBF, 0);
}

void redirect_streams_to_captures(const wchar_t* output_path, const wchar_t* error_path) {
  redirect_stream(stdout, output_path);
  redirect_stream(stderr, error_path);
  setvbuf(stderr, nullptr, _IONBF, 0);
}

std::string read_and_remove_capture(const wchar_t* path) {
  std::wstring full(path);
  std::wstring name = full.substr(test_program_directory().size() + 1);
  std::string text = read_test_data(name.c_str());
  DeleteFileW(path);
  return text;
}

std::string system_error_text(unsigned long code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                     FORMAT_MESSAGE_FROM_SYSTEM,
                 nullptr, code, 0x409, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string trimmed(text != nullptr ? text : "");
  LocalFree(text);
  while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r')) trimmed.pop_back();
  return trimmed;
}

void remove_tree(const std::wstring& path) {
  std::wstring from = path + L'\0';
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  SHFileOperationW(&operation);
}

std::wstring temporary_directory() {
  wchar_t path[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, path);
  while (length > 0 && path[length - 1] == L'\\') --length;
  return std::wstring(path, length);
}

std::wstring fresh_test_directory(const wchar_t* tag) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  std::wstring path = temporary_directory() + L"\\test_" +
                      std::wstring(name.begin(), name.end()) + L"_" + tag;
  remove_tree(path);
  return path;
}

std::wstring scratch_directory(const wchar_t* tag) {
  std::wstring directory = fresh_test_directory(tag);
  CreateDirectoryW(directory.c_str(), nullptr);
  return directory;
}

bool path_exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool is_directory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void write_whole_file(const std::wstring& path, const std::string& content) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot create " << std::string(path.begin(), path.end()) << " (error "
                  << GetLastError() << ")";
    return;
  }
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}
