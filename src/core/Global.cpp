// Program folder and small shared functions.
#include "Global.h"

#include <pcre2.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <unistd.h>

std::string AppPath;

std::string AppPathFromExe(const std::string& exePath) {
    const auto cut = exePath.find_last_of("\\/:");
    if (cut == std::string::npos)
        return {};
    std::string path = exePath.substr(0, cut + 1);
    if (!path.empty() && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

void InitAppPath() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    AppPath = n > 0 ? AppPathFromExe(std::string(buffer, static_cast<size_t>(n))) : ".";
}

TSplitArray Split(const std::string& text, const std::string& separator) {
    TSplitArray result;
    if (separator.empty()) {
        if (!text.empty())
            result.push_back(text);
        return result;
    }
    size_t start = 0;
    for (size_t hit; (hit = text.find(separator, start)) != std::string::npos;
         start = hit + separator.size())
        result.push_back(text.substr(start, hit - start));
    if (start < text.size())
        result.push_back(text.substr(start));
    return result;
}

namespace {

std::string ReplaceAll(const std::string& text, const char* pattern) {
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                      PCRE2_CASELESS | PCRE2_DOTALL, &errorCode, &errorOffset, nullptr);
    if (!code)
        return text;
    std::string out(text.size() + 1, '\0');
    PCRE2_SIZE outLength = out.size();
    int rc = pcre2_substitute(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0,
                              PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH, nullptr,
                              nullptr, reinterpret_cast<PCRE2_SPTR>(""), 0,
                              reinterpret_cast<PCRE2_UCHAR*>(out.data()), &outLength);
    if (rc == PCRE2_ERROR_NOMEMORY) {
        out.resize(outLength);
        rc = pcre2_substitute(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0,
                              PCRE2_SUBSTITUTE_GLOBAL, nullptr, nullptr,
                              reinterpret_cast<PCRE2_SPTR>(""), 0,
                              reinterpret_cast<PCRE2_UCHAR*>(out.data()), &outLength);
    }
    pcre2_code_free(code);
    if (rc < 0)
        return text;
    out.resize(outLength);
    return out;
}

void QuickSort(std::vector<int>& values, int low, int high) {
    while (low < high) {
        const int pivot = values[(low + high) / 2];
        int i = low, j = high;
        while (i <= j) {
            while (values[i] < pivot)
                ++i;
            while (values[j] > pivot)
                --j;
            if (i <= j)
                std::swap(values[i++], values[j--]);
        }
        // Recurse into the smaller half so the stack stays shallow on sorted input.
        if (j - low < high - i) {
            QuickSort(values, low, j);
            low = i;
        } else {
            QuickSort(values, i, high);
            high = j;
        }
    }
}

} // namespace

std::string StripHTML(const std::string& text) {
    std::string result = ReplaceAll(text, "<script(.*?)>(.*?)</script>");
    result = ReplaceAll(result, "<style(.*?)>(.*?)</style>");
    return ReplaceAll(result, "<(.*?)>");
}

void SortIntegers(std::vector<int>& values, int high) {
    high = std::min(high, static_cast<int>(values.size()) - 1);
    if (high > 0)
        QuickSort(values, 0, high);
}

std::string TrimControl(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32)
        --last;
    return text.substr(first, last - first);
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}
