// The tarnwick command's arguments, checked against the engine's option table and turned
// into the option string of one engine call.
#pragma once

#include <string>
#include <vector>

namespace command {

struct Call {
    std::string options; // the option string for the engine
    std::string error;   // why the arguments cannot go to the engine; empty when they can
};

// Each argument becomes one token: an option of the engine's table, or the value after an
// option that takes one. Refused, before anything is read or written, with `error` saying
// why: a word that is no option (the engine would skip it), an option without its value,
// a value that the engine cannot take as one token (empty, holding a double quote, an
// option name, or a blank after a leading "-"), and more than the engine reads (21 tokens,
// 255 characters). A folder value that names an existing directory gets the "/" it lacks;
// folders not given are the current directory.
Call make_call(const std::vector<std::string>& args);

} // namespace command
