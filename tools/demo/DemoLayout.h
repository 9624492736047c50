#pragma once
// What the demo deployment serves, in one place: the server's routes, the files the packer
// lays out under the server's root, and the Install.ini that points an installer at them.

#include <string>
#include <vector>

namespace qidemo {

// The executables of the demo, beside each other in the build's bin/demo folder.
inline constexpr char kServerProgram[] = "qi-demo-server";
inline constexpr char kRuntimeProgram[] = "qi-demo-runtime";
inline constexpr char kSetupProgram[] = "qi-demo-setup";
inline constexpr char kProductProgram[] = "qi-demo-product";

// The name the setup gives the product in the install directory; the installer ends
// processes of this name before it installs.
inline constexpr char kProductFileName[] = "Quillora.exe";
inline constexpr char kProductTitle[] = "Quillora";
inline constexpr char kProductVersion[] = "1.0";

enum class EDemoFileKind {
    Runtime,       // a copy of qi-demo-runtime
    SetupPackage,  // qi-demo-setup carrying qi-demo-product
};

struct CDemoFile {
    const char* urlPath;  // also the file's path below the server's root
    const char* iniKey;   // the Install.ini key that names its URL
    EDemoFileKind kind;
};

inline const std::vector<CDemoFile>& DemoFiles() {
    static const std::vector<CDemoFile> files = {
        {"/software/third_party/NETFramework4.0.exe", "net40_url", EDemoFileKind::Runtime},
        {"/software/third_party/NETFramework4.5.exe", "net45_url", EDemoFileKind::Runtime},
        {"/software/install_pack/quillora1.0.exe", "install_pack_url", EDemoFileKind::SetupPackage},
    };
    return files;
}

inline constexpr char kReportPath[] = "/Soft/Sys/InstallationPackage";
inline constexpr char kReportIniKey[] = "install_statistics_url";

// What the deployment's Install.ini says besides the URLs: the package is version 1.0.
inline constexpr char kDemoChannel[] = "demo";
inline constexpr char kDemoVersion[] = "1.0.0.0";

// The Install.ini of a deployment whose server answers at `baseUrl` ("http://127.0.0.1:PORT").
inline std::string DemoInstallIni(const std::string& baseUrl) {
    std::string ini = "[Config]\n";
    for (const CDemoFile& file : DemoFiles())
        ini += std::string(file.iniKey) + "=" + baseUrl + file.urlPath + "\n";
    ini += std::string(kReportIniKey) + "=" + baseUrl + kReportPath + "\n";
    ini += std::string("channel=") + kDemoChannel + "\n";
    ini += std::string("version=") + kDemoVersion + "\n";
    return ini;
}

}  // namespace qidemo
