#pragma once
// The file name a subject gives, for an attachment that gives none: a
// quoted name ("joystick.jpg" yEnc (1/2)), or else the last word that ends
// in a picture's extension (Beach at dawn.JPG (1/1)). Other decoders read
// subjects the same way.

#include <string>
#include <string_view>

namespace ng {

// The name as the subject writes it (not yet made safe); "" for none.
std::string NameFromSubject(std::string_view subject);

}  // namespace ng
