#include "tests/wine/wine_device.h"
namespace wine {
int Compare(const std::filesystem::path&, const std::filesystem::path&) { return 1; }
}
