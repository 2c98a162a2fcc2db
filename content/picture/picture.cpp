#include "content/picture/picture.h"

namespace picture {

bool isValidSide(int side) {
    return side >= kMinSide && side <= kMaxSide && (side & (side - 1)) == 0;
}

} // namespace picture
