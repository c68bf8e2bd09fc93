#include "driver/file_names.h"

#include <filesystem>

bool endsWith(const std::string& name, const std::string& suffix)
{
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isRegularFile(const std::string& name)
{
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(name), error);
}
