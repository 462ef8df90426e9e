#include "windows_dlls.h"

#include <string.h>

#include <algorithm>
#include <iterator>

namespace {

// The documented Win32 API libraries of a clean 64-bit Windows 10 System32:
// the DLLs that the Windows SDK's API reference names as the library of a
// function, and the C runtimes that ship with the system (msvcrt,
// ucrtbase). Redistributable runtimes (vcruntime140, msvcp140, the .NET
// and DirectX SDK extras) are deliberately not here: a clean system lacks
// them. In lower case, for a comparison that ignores letter case.
const char* const kSystemDlls[] = {
    "advapi32.dll",    "advpack.dll",      "amsi.dll",          "apphelp.dll",
    "authz.dll",       "avicap32.dll",     "avifil32.dll",      "avrt.dll",
    "bcrypt.dll",      "bluetoothapis.dll", "cabinet.dll",      "cfgmgr32.dll",
    "clfsw32.dll",     "combase.dll",      "comctl32.dll",      "comdlg32.dll",
    "credui.dll",      "crypt32.dll",      "cryptbase.dll",     "cryptdll.dll",
    "cryptnet.dll",    "cryptui.dll",      "cryptxml.dll",      "d2d1.dll",
    "d3d10.dll",       "d3d10_1.dll",      "d3d11.dll",         "d3d12.dll",
    "d3d9.dll",        "d3dcompiler_47.dll", "davclnt.dll",     "dbgeng.dll",
    "dbghelp.dll",     "dcomp.dll",        "ddraw.dll",         "devobj.dll",
    "dhcpcsvc.dll",    "dhcpcsvc6.dll",    "dinput8.dll",       "dnsapi.dll",
    "dsound.dll",      "dsreg.dll",        "dwmapi.dll",        "dwrite.dll",
    "dxcore.dll",      "dxgi.dll",         "dxva2.dll",         "esent.dll",
    "evr.dll",         "faultrep.dll",     "fltlib.dll",        "fwpuclnt.dll",
    "gdi32.dll",       "gdiplus.dll",      "glu32.dll",         "hid.dll",
    "hlink.dll",       "httpapi.dll",      "icm32.dll",         "icmp.dll",
    "imagehlp.dll",    "imm32.dll",        "iphlpapi.dll",      "kernel32.dll",
    "kernelbase.dll",  "ksuser.dll",       "ktmw32.dll",        "logoncli.dll",
    "mapi32.dll",      "mf.dll",           "mfplat.dll",        "mfplay.dll",
    "mfreadwrite.dll", "mgmtapi.dll",      "mlang.dll",         "mmdevapi.dll",
    "mpr.dll",         "msacm32.dll",      "mscms.dll",         "msctf.dll",
    "msdmo.dll",       "msi.dll",          "msimg32.dll",       "msports.dll",
    "msrating.dll",    "mstask.dll",       "msv1_0.dll",        "msvcp_win.dll",
    "msvcrt.dll",      "msvfw32.dll",      "mswsock.dll",       "mtxdm.dll",
    "ncrypt.dll",      "ndfapi.dll",       "netapi32.dll",      "netutils.dll",
    "newdev.dll",      "normaliz.dll",     "ntdll.dll",         "ntdsapi.dll",
    "ntmarta.dll",     "ntquery.dll",      "odbc32.dll",        "odbccp32.dll",
    "ole32.dll",       "oleacc.dll",       "oleaut32.dll",      "oledlg.dll",
    "opengl32.dll",    "pdh.dll",          "powrprof.dll",      "propsys.dll",
    "psapi.dll",       "quartz.dll",       "rasapi32.dll",      "rasdlg.dll",
    "resutils.dll",    "rometadata.dll",   "rpcns4.dll",        "rpcrt4.dll",
    "rstrtmgr.dll",    "rtm.dll",          "rtutils.dll",       "samlib.dll",
    "sas.dll",         "scarddlg.dll",     "secur32.dll",       "sensapi.dll",
    "setupapi.dll",    "sfc.dll",          "shcore.dll",        "shdocvw.dll",
    "shell32.dll",     "shfolder.dll",     "shlwapi.dll",       "slc.dll",
    "snmpapi.dll",     "spoolss.dll",      "srclient.dll",      "sspicli.dll",
    "sti.dll",         "t2embed.dll",      "tapi32.dll",        "tbs.dll",
    "tdh.dll",         "traffic.dll",      "txfw32.dll",        "ucrtbase.dll",
    "uiautomationcore.dll", "urlmon.dll",  "user32.dll",        "userenv.dll",
    "usp10.dll",       "uxtheme.dll",      "version.dll",       "virtdisk.dll",
    "vssapi.dll",      "wcmapi.dll",       "wdsclientapi.dll",  "webauthn.dll",
    "webservices.dll", "websocket.dll",    "wecapi.dll",        "wer.dll",
    "wevtapi.dll",     "wininet.dll",      "winbio.dll",        "windowscodecs.dll",
    "winhttp.dll",     "winmm.dll",        "winscard.dll",      "winspool.drv",
    "winsta.dll",      "wintrust.dll",     "winusb.dll",        "wlanapi.dll",
    "wldap32.dll",     "wmi.dll",          "wmvcore.dll",       "wofutil.dll",
    "ws2_32.dll",      "wscapi.dll",       "wsnmp32.dll",       "wsock32.dll",
    "wtsapi32.dll",    "xinput1_4.dll",    "xinput9_1_0.dll",   "xmllite.dll",
    "xpsprint.dll",
};

// The loader maps these names to system libraries itself.
const char* const kApiSetPrefixes[] = {"api-ms-win-", "ext-ms-"};

std::string lower_case(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

bool is_windows_dll(const std::string& name) {
  std::string lower = lower_case(name);
  for (const char* prefix : kApiSetPrefixes)
    if (lower.compare(0, strlen(prefix), prefix) == 0) return true;
  return std::find_if(std::begin(kSystemDlls), std::end(kSystemDlls),
                      [&](const char* dll) { return lower == dll; }) != std::end(kSystemDlls);
}
