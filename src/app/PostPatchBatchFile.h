#pragma once
// "PostPatch.bat" of the product folder: the product's own last step after a successful
// update, run by both variants.

#include <string>

namespace tw {

class CPostPatchBatchFile {
public:
    // Runs the batch file of the folder, when there is one, from that folder and waits for
    // it, repainting meanwhile. An empty folder runs nothing.
    static void Run(std::string productDir);
};

}  // namespace tw
