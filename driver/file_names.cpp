#include "driver/file_names.h"

bool endsWith(const std::string& name, const std::string& suffix)
{
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}
