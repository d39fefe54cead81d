// subject.hpp - subject keys and part counters of "Subject: " lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantorelle {

// Each takes the subject field (the line after "Subject:") and, when its
// counter is found, sets the key (the text before the counter's bracket), the
// part number and the total and returns 1; otherwise returns 0.
int _scan_1(std::string_view subject, std::string& key, std::int32_t& part, std::int32_t& total);  // "(%d/%d)"
int _scan_2(std::string_view subject, std::string& key, std::int32_t& part, std::int32_t& total);  // "[%d/%d]"
int _scan_3(std::string_view subject, std::string& key, std::int32_t& part, std::int32_t& total);  // "(%d of %d)"
// Always matches: the whole field is the key, part 1 of 1.
int _scan_00(std::string_view subject, std::string& key, std::int32_t& part, std::int32_t& total);

// The rightmost counter of the three forms decides, the key cut at its
// bracket; without one, the whole field is the key, part 1 of 1.
void scan_subject(std::string_view subject, std::string& key, std::int32_t& part,
                  std::int32_t& total);

}  // namespace vantorelle
