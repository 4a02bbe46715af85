#include "lscmd.h"

#include <cstring>

bool upload_name_ok(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

bool make_ls_command(std::span<char> out, std::string_view code, std::string_view id) {
  if (out.empty()) return false;
  out[0] = '\0';
  if (!upload_name_ok(code) || !upload_name_ok(id)) return false;
  if (code.size() + id.size() > NAMES_MAX) return false;

  std::size_t o = 0;
  auto put = [&](std::string_view s) {
    if (o + s.size() >= out.size()) return false;
    std::memcpy(out.data() + o, s.data(), s.size());
    o += s.size();
    return true;
  };
  // Inside single quotes the shell interprets no byte at all; a quote itself has to
  // close the quoting, be escaped, and reopen it.
  auto put_quoted = [&](std::string_view name) {
    if (!put("'")) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
      if (!put(name[i] == '\'' ? std::string_view("'\\''") : name.substr(i, 1))) return false;
    return put("'");
  };
  const bool ok =
      put("ls -l user/autoup/") && put_quoted(code) && put("/data/") && put_quoted(id) && put("/");
  out[ok ? o : 0] = '\0';
  return ok;
}
