#include "diagnosis/DiagnosisSystem.h"

#include <QFileInfo>

#include <windows.h>
#include <shlwapi.h>

#include <iterator>

DiagnosisSystem::TextHandler DiagnosisSystem::textHandler()
{
    TextHandler handler;
    handler.opener = true; // the shell opens files itself
    wchar_t program[MAX_PATH * 4] = {};
    DWORD size = DWORD(std::size(program));
    // The program the shell starts for a .txt file, as "Open Log" asks for it.
    if (SUCCEEDED(AssocQueryStringW(static_cast<ASSOCF>(0), ASSOCSTR_EXECUTABLE, L".txt", nullptr, program, &size))) {
        const QString path = QString::fromWCharArray(program);
        handler.name = QFileInfo(path).fileName();
        handler.runs = QFileInfo::exists(path);
    }
    return handler;
}

QStringList DiagnosisSystem::runningLogFolders()
{
    return {}; // another process's working folder is not told on Windows without reading its memory
}
