// Applying the patch: the payload stream is copied out of the program file,
// expanded, and each entry is written and moved over the installed file in
// directory order. The replaced files wait until the last entry is in place.
#include <windows.h>

#include <vector>

#include "app/cancel.h"
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/pump.h"
#include "app/registry.h"
#include "install/file_streams.h"
#include "install/huf_decode_file.h"
#include "install/temp_folder.h"
#include "patch/patch_dialog.h"
#include "patch/replaced_files.h"
#include "res/resource.h"
#include "setup/product_key.h"

namespace {

// Files are moved through a buffer of this size, never whole.
constexpr UINT kBlockSize = 256 << 10;
// The window is kept alive after this many bytes.
constexpr uint64_t kPumpInterval = 4 << 20;

} // namespace

void PatchDialog::Fail(const std::string& name) {
  MessageBox(LoadFormatted(IDS_OPEN_FAILED, name.c_str()).c_str(), m_strCaption.c_str(),
             MB_ICONSTOP);
  EndDialog(-1);
}

void PatchDialog::ApplyPatch() {
  m_staticText.SetWindowText(LoadFormatted(IDS_EXTRACTING, nullptr));
  m_progress.SetRange(0, int(m_nEntryCount & 0xFFFF));
  m_progress.SetPos(0);
  m_progress.SetStep(1);

  m_strTempPath = CreatePrivateTempFolder();
  m_strWorkPath = CreatePrivateTempFolder();
  char payloadCopy[MAX_PATH] = "";
  if (m_strTempPath.empty() || m_strWorkPath.empty() ||
      !GetTempFileNameA(m_strWorkPath.c_str(), "TVO", 0, payloadCopy))
    return Fail(m_strWorkPath.empty() ? SystemTempFolderForDisplay() : m_strWorkPath);

  if (!CopyPayloadStream(payloadCopy)) return;
  m_file.Abort();
  if (!HufDecodeFile(payloadCopy, &m_progress)) {
    if (!g_bCancel) Fail(payloadCopy);
    return;
  }
  // A cancelled expansion leaves part of the data; nothing is replaced yet.
  if (g_bCancel) return;

  if (!m_file.Open(payloadCopy, CFile::modeRead | CFile::shareDenyNone | CFile::modeNoInherit)) {
    if (!g_bCancel) Fail(payloadCopy);
    return;
  }
  uint64_t expected = m_trailer.TotalSize();
  uint64_t expanded = m_file.GetLength();
  if (expanded != expected) {
    InstallLog("Damaged Archive [payload decodes to %llu bytes, the entries hold %llu]",
               static_cast<unsigned long long>(expanded),
               static_cast<unsigned long long>(expected));
    return Fail(payloadCopy);
  }

  ReplacedFiles replaced(m_strWorkPath);
  std::string failed;
  if (!ReplaceInstalledFiles(replaced, failed)) {
    m_file.Abort();
    if (!replaced.RollBack()) m_strWorkPath.clear(); // keep what could not be returned
    if (!g_bCancel) Fail(failed);
    return;
  }
  m_file.Abort();
  DeleteFileA(payloadCopy);
  replaced.Discard();
  WriteRegistryDword(HKEY_CURRENT_USER, ProductKeyPath(m_strProductName).c_str(), "Version",
                     m_nVersion);
}

bool PatchDialog::CopyPayloadStream(const std::string& payloadCopy) {
  OutputFile out;
  if (!out.Create(payloadCopy, CREATE_ALWAYS)) {
    Fail(payloadCopy);
    return false;
  }
  // Exactly the stream: from its start up to the trailer region.
  uint64_t left = m_nDataEnd - m_nDataOffset;
  std::vector<char> buffer(kBlockSize);
  uint64_t sincePump = 0;
  try {
    m_file.Seek(LONGLONG(m_nDataOffset), CFile::begin);
    while (left > 0) {
      UINT n = UINT(left < kBlockSize ? left : kBlockSize);
      if (m_file.Read(buffer.data(), n) != n || !out.Write(buffer.data(), n)) {
        Fail(payloadCopy);
        return false;
      }
      left -= n;
      if ((sincePump += n) >= kPumpInterval) {
        sincePump = 0;
        if (PumpPendingMessages()) return false;
      }
    }
  } catch (const CFileException&) {
    Fail(payloadCopy);
    return false;
  }
  if (!out.Close()) {
    Fail(payloadCopy);
    return false;
  }
  return true;
}

bool PatchDialog::ReplaceInstalledFiles(ReplacedFiles& replaced, std::string& failed) {
  for (uint32_t i = 0; i < m_nEntryCount; ++i) {
    const archive::ArchiveEntry& entry = m_pEntries[i];
    const std::string staged = m_strTempPath + entry.name;
    const std::string target = m_strInstallPath + entry.name;
    if (!ExtractEntryToFile(staged, entry.size)) {
      failed = entry.name;
      return false;
    }
    InstallLog("Copying File [%s] to [%s]", staged.c_str(), target.c_str());
    bool copied = replaced.SetAside(target) && CopyFileA(staged.c_str(), target.c_str(), FALSE);
    DeleteFileA(staged.c_str());
    if (!copied) {
      failed = entry.name;
      return false;
    }
    if (PumpPendingMessages()) return false;
  }
  return true;
}

bool PatchDialog::ExtractEntryToFile(std::string path, uint32_t size) {
  InstallLog("Copying File [%s] [%i]", path.c_str(), int(size));
  OutputFile out;
  if (!out.Create(path, CREATE_ALWAYS)) {
    InstallLog("Unable to create file");
    return false;
  }
  std::vector<char> buffer(size < kBlockSize ? size : kBlockSize);
  uint32_t left = size;
  uint64_t sincePump = 0;
  while (left > 0) {
    UINT n = left < kBlockSize ? left : kBlockSize;
    UINT got = 0;
    try {
      got = m_file.Read(buffer.data(), n);
    } catch (const CFileException&) {
    }
    if (got != n) {
      InstallLog("Unable to read from Archive");
      out.Abort();
      DeleteFileA(path.c_str());
      return false;
    }
    if (!out.Write(buffer.data(), n)) {
      InstallLog("Unable to write file");
      out.Abort();
      DeleteFileA(path.c_str());
      return false;
    }
    left -= n;
    // Large entries keep the window alive too; a cancel stops here.
    if ((sincePump += n) >= kPumpInterval) {
      sincePump = 0;
      if (PumpPendingMessages()) {
        out.Abort();
        DeleteFileA(path.c_str());
        return false;
      }
    }
  }
  if (out.Close()) return true;
  InstallLog("Unable to write file");
  DeleteFileA(path.c_str());
  return false;
}
