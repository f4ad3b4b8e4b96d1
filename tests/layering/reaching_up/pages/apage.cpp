// A page that reaches up to the window by the header's bare name.
#include "apage.h"
#include "pagehost.h"
#include "tform1.h"
