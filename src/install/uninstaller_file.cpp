#include "install/uninstaller_file.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "archive/format/archive_end.h"
#include "framework/archive_file.h"
#include "framework/code_page.h"
#include "framework/exception.h"
#include "framework/file.h"

archive::ArchiveTrailer UninstallerRegion(const std::string& productName, uint16_t version,
                                          const archive::UninstallList& list) {
  archive::ArchiveTrailer t;
  t.installerFlag = 0;
  t.version = version;
  t.caption = productName + " entfernen";
  t.productName = productName;
  t.extension.uninstallList = list;
  t.extension.uninstallList.present = true;
  return t;
}

bool WriteUninstallerFile(const std::wstring& program, uint64_t imageLength,
                          const archive::ArchiveTrailer& region, const std::string& target) {
  const std::string partial = target + ".neu";
  try {
    CFile in;
    if (!in.Open(program, CFile::modeRead | CFile::shareDenyNone | CFile::modeNoInherit))
      return false;
    CArchiveFile reader(in);
    if (imageLength > reader.Size() || imageLength > 0x7FFFFFFF) return false;
    const archive::CertificateTable table = archive::ReadCertificateTable(reader);

    CFile out;
    if (!out.Open(partial.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::modeNoInherit))
      return false;
    std::vector<uint8_t> block(64 * 1024);
    for (uint64_t done = 0; done < imageLength;) {
      UINT n = UINT(std::min<uint64_t>(block.size(), imageLength - done));
      if (!reader.ReadAt(done, block.data(), n)) throw CFileException(CFileException::endOfFile);
      // The copy carries no signature: its headers name no certificate table.
      if (table.directoryEntry && table.directoryEntry + 8 <= imageLength)
        for (uint64_t at = table.directoryEntry; at < table.directoryEntry + 8; ++at)
          if (at >= done && at < done + n) block[size_t(at - done)] = 0;
      out.Write(block.data(), n);
      done += n;
    }
    archive::ArchiveTrailer t = region;
    t.dataStart = uint32_t(imageLength);
    std::vector<uint8_t> bytes = archive::SerializeTrailerRegion(t);
    archive::AppendLE32(bytes, uint32_t(bytes.size()));
    out.Write(bytes.data(), UINT(bytes.size()));
    out.Close();
  } catch (const CException&) {
    DeleteFileA(partial.c_str());
    return false;
  }
  if (MoveFileExA(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  DeleteFileA(partial.c_str());
  return false;
}

bool ReadUninstallerFile(const std::string& path, archive::ArchiveTrailer& region,
                         uint64_t& imageLength) {
  CFile file;
  if (!file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone | CFile::modeNoInherit))
    return false;
  CArchiveFile reader(file);
  archive::TrailerReadResult r = archive::ReadTrailer(reader, region);
  if (!r.ok || !region.IsUninstaller()) return false;
  imageLength = r.layout.dataStart;
  return true;
}
