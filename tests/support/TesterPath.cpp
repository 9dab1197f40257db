#include "support/TesterPath.h"

#include <windows.h>

std::string testerPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.erase(folder.find_last_of('\\'));
    return folder.substr(0, folder.find_last_of('\\')) + "\\app\\guide-link-tester.exe";
}
