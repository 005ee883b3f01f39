#pragma once
// What a part GMime read says of itself, shared by the MIME structure reader
// and the fuzz target that holds the reader to GMime's view of the whole text.

#include <gmime/gmime.h>

#include "decode/MimeStructure.h"

namespace ng {

// The leaf's encoding, whether it is text or an attachment, and its name,
// from the part's headers.
void DescribeLeaf(GMimePart* part, MimeLeaf& leaf);

}  // namespace ng
