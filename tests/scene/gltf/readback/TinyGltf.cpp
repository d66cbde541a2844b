// The glTF reader's implementation (and the PNG decoder it uses), compiled
// once for the tests that read exports back. Third-party code: built without
// the project's warnings.
#define TINYGLTF_IMPLEMENTATION
#define STB_IMAGE_IMPLEMENTATION
#include <tiny_gltf.h>
