#pragma once

#include <string>

// The built tester executable, as a Windows path: it lies in app/ beside this program's folder.
std::string testerPath();
