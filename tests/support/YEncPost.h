#pragma once

#include <string>
#include <vector>

// The part bodies of a yEnc post of `bytes` as the file `name`, made by Debian's python3-yenc as posting
// tools write them (tests/support/yenc_post.py): one body for a single-part post, `parts` bodies otherwise,
// with data lines of `line` characters (128 or 256) and CR LF line ends. Empty when the encoder cannot run.
std::vector<std::string> YEncPost(const std::string& bytes, const std::string& name, int parts,
                                  int line = 128);
