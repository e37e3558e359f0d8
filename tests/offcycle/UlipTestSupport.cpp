#include "UlipTestSupport.h"

#include "OffCycleTestSupport.h"
#include "offcycle/Sha256.h"

namespace octest {

void UlipSelector::HoldAsUnpacked(const std::string& folder) {
    for (const std::string& sub : {std::string(), std::string("x32\\")}) {
        const std::string base = folder + sub;
        for (const std::string& name : ListFolder(base)) {
            const std::string path = base + name;
            if (::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) continue;
            tw::FileHandle file(
                ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            tw::CSha256::Digest digest = {};
            if (file && tw::CSha256::OfFile(file.Get(), digest)) {
                file.Reset();
                m_heldFiles.Hold(path, digest);
            }
        }
    }
}

std::string VersionExe(const std::string& name) {
    return twtest::BinaryPath("tests\\fixtures\\versionexes\\" + name + ".exe");
}

std::string PatchIniBesideProgram::Path() {
    char module[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, module, MAX_PATH - 1);
    std::string path = module;
    return path.substr(0, path.find_last_of('\\') + 1) + "patch.ini";
}

PatchIniBesideProgram::PatchIniBesideProgram(const std::string& text) {
    m_existed = twtest::FileExists(Path());
    if (m_existed) m_before = twtest::ReadTextFile(Path());
    twtest::WriteTextFile(Path(), text);
}

PatchIniBesideProgram::~PatchIniBesideProgram() {
    if (m_existed)
        twtest::WriteTextFile(Path(), m_before);
    else
        ::DeleteFileA(Path().c_str());
}

}  // namespace octest
