// stb_image's implementation, in a file of its own so that the options its faults need touch
// none of our code. The symbols stay inside the libraries: each one's version script
// exports only the designed entry points.
#define STB_IMAGE_IMPLEMENTATION
#include "stb_image_config.h"
