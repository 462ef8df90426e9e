// The packer's command line.
//
//   packer pack APP_LIBRARY [DIRECTORY] -o OUT.exe [options]
//   packer list OUT.exe
//   packer block -o OUT [options] [NAME FILE...]
//   packer wrap BLOCK -o OUT.exe [options]
//
// pack builds a launcher executable; list shows what one carries; block
// writes only the attached data block and wrap an executable around a given
// block, for the build's own tests.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "commands.h"
#include "utf16.h"

namespace {

const char kVersion[] = "0.2.0";

}  // namespace

void print_usage(bool full) {
  FILE* stream = full ? stdout : stderr;
  fputs("usage: packer pack APP_LIBRARY [DIRECTORY] -o OUT.exe [options]\n"
        "       packer list OUT.exe\n"
        "       packer block -o OUT [--level N] [--window-log N] [--no-content-size]\n"
        "                    [--checksum] [--threads N] [--records LIST] [NAME FILE...]\n"
        "       packer wrap BLOCK -o OUT.exe [--console] [--uac LEVEL] [--icon FILE.ico]\n"
        "                    [--version-info KEY=VALUE]...\n"
        "       packer --help | --version\n",
        stream);
  if (!full) {
    fputs("Run 'packer --help' for the options.\n", stream);
    return;
  }
  fputs("\n"
        "pack writes one Windows executable that carries APP_LIBRARY, an x86-64 DLL\n"
        "that exports run_code, and every regular file below DIRECTORY. Started, it\n"
        "unpacks them into a fresh folder, runs run_code and deletes the folder.\n"
        "The packer writes the executable itself from the launcher it carries; it\n"
        "needs no other program.\n"
        "\n"
        "  -o OUT.exe        the executable to write; an existing file is replaced only\n"
        "                    by a complete new one, and anything else (a directory,\n"
        "                    a device) is refused\n"
        "  --icon FILE.ico   the executable's icon instead of the default one\n"
        "  --console         a console program: it shares the console of its caller,\n"
        "                    which waits for it; default: a GUI program\n"
        "  --uac LEVEL       the execution level its manifest asks for:\n"
        "                    requireAdministrator (default), highestAvailable or\n"
        "                    asInvoker\n"
        "  --version-info KEY=VALUE\n"
        "                    a version resource (the file's properties), one key at a\n"
        "                    time, repeatable: FileVersion, ProductVersion, ProductName,\n"
        "                    CompanyName, FileDescription, LegalCopyright,\n"
        "                    OriginalFilename, InternalName. FileVersion and\n"
        "                    ProductVersion take up to four numbers, like 1.2.3.4.\n"
        "                    Without it there is no version resource.\n"
        "  --level N         compression level, 1 (fastest) to 22 (smallest); default 9.\n"
        "                    Unpacking is about as fast at every level.\n"
        "  --window-log N    the decoder's window, 2^N bytes for N from 10 to 27;\n"
        "                    default 23 (8 MiB). The running program keeps its decoder,\n"
        "                    and so this much memory, for its whole life: a larger\n"
        "                    window can make a large payload with repeated content\n"
        "                    smaller, at that cost. A payload smaller than the window\n"
        "                    needs only its own size.\n"
        "  --no-content-size leave the payload's size out of the frame; the window is\n"
        "                    then never smaller than --window-log asks\n"
        "  --checksum        store a checksum, verified while unpacking\n"
        "  --threads N       compression threads, 1 to 256; default: every core. The\n"
        "                    executable is the same whatever N.\n"
        "  --quiet           neither progress display nor summary\n"
        "\n"
        "An executable holds at most 2 GiB (2147483648 bytes), the most the Windows\n"
        "loader takes (Wine takes up to the format's 4 GiB): a payload that\n"
        "compresses to more is refused and the output is left as it was.\n"
        "\n"
        "Names inside the executable are the paths relative to DIRECTORY with\n"
        "backslashes; a name that Windows cannot store as given is refused.\n"
        "\n"
        "list prints the files that a built executable carries, with their sizes\n"
        "and totals, and fails on damaged attached data.\n",
        stream);
}

bool parse_int(const char* text, int low, int high, int* value) {
  char* end = nullptr;
  long parsed = strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < low || parsed > high) return false;
  *value = static_cast<int>(parsed);
  return true;
}

namespace {

int run_packer(int argc, char** argv) {
  if (argc < 2) {
    print_usage(false);
    return kExitUsage;
  }
  if (strcmp(argv[1], "--version") == 0) {
    printf("packer %s\n", kVersion);
    return kExitOk;
  }
  if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
    print_usage(true);
    return kExitOk;
  }
  if (strcmp(argv[1], "block") == 0) return command_block(argc - 2, argv + 2);
  if (strcmp(argv[1], "pack") == 0) return command_pack(argc - 2, argv + 2);
  if (strcmp(argv[1], "list") == 0) return command_list(argc - 2, argv + 2);
  if (strcmp(argv[1], "wrap") == 0) return command_wrap(argc - 2, argv + 2);
  fprintf(stderr, "packer: unknown command '%s'\n", argv[1]);
  print_usage(false);
  return kExitUsage;
}

}  // namespace

#ifdef _WIN32
// The Windows packer takes its arguments as the system gives them, in
// UTF-16, and works in UTF-8 like the Linux one.
int wmain(int argc, wchar_t** wide_argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i)
    arguments.push_back(utf16_to_utf8(reinterpret_cast<const char16_t*>(wide_argv[i])));
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  return run_packer(argc, argv.data());
}
#else
int main(int argc, char** argv) { return run_packer(argc, argv); }
#endif
