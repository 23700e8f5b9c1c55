#include "app/load_formatted.h"
#include "framework/exception.h"
#include "install/payload_installer.h"
#include "install/temp_folder.h"
#include "res/resource.h"
#include "setup/setup_dialog.h"

void SetupDialog::RunInstallation() {
  m_strTempPath = CreatePrivateTempFolder();
  if (m_strTempPath.empty()) {
    std::string reason = SystemErrorMessage(GetLastError());
    MessageBox(LoadFormatted(IDS_OPEN_FAILED, reason.c_str()).c_str(), m_strCaption.c_str(),
               MB_OK | MB_ICONSTOP);
    EndDialog(-1);
    return;
  }

  InstallRequest request;
  request.programPath = AfxGetModuleFileName();
  request.trailer = &m_trailer;
  request.streamLength = m_layout.StreamLength();
  request.tempPath = m_strTempPath;
  request.installPath = m_strInstallPath;
  request.caption = m_strCaption;
  request.owner = this;
  request.statusText = &m_staticText;
  request.progress = &m_progress;
  if (InstallPayload(request) == InstallResult::Failed) EndDialog(-1);
}
