#include "peimage.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

struct Image
{
    std::vector<unsigned char> bytes;
    std::vector<IMAGE_SECTION_HEADER> sections;
    IMAGE_NT_HEADERS32 nt = {};
    DWORD rsrcOffset = 0;

    template <typename T> T At(DWORD offset) const
    {
        T value{};
        if (offset + sizeof(T) <= bytes.size())
            std::memcpy(&value, &bytes[offset], sizeof(T));
        return value;
    }
    DWORD FileOffset(DWORD rva) const
    {
        for (const IMAGE_SECTION_HEADER &section : sections)
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.Misc.VirtualSize)
                return section.PointerToRawData + (rva - section.VirtualAddress);
        return 0;
    }
    DWORD Directory(int entry) const { return nt.OptionalHeader.DataDirectory[entry].VirtualAddress; }
};

bool Load(const std::string &path, Image &image)
{
    std::ifstream file(path, std::ios::binary);
    image.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    auto dos = image.At<IMAGE_DOS_HEADER>(0);
    image.nt = image.At<IMAGE_NT_HEADERS32>(dos.e_lfanew);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || image.nt.Signature != IMAGE_NT_SIGNATURE)
        return false;
    DWORD first = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                  image.nt.FileHeader.SizeOfOptionalHeader;
    for (int i = 0; i < image.nt.FileHeader.NumberOfSections; i++)
        image.sections.push_back(image.At<IMAGE_SECTION_HEADER>(first + i * sizeof(IMAGE_SECTION_HEADER)));
    return true;
}

void Walk(const Image &image, DWORD dir, int level, PeResource current, std::vector<PeResource> &out)
{
    auto header = image.At<IMAGE_RESOURCE_DIRECTORY>(image.rsrcOffset + dir);
    int count = header.NumberOfNamedEntries + header.NumberOfIdEntries;
    for (int i = 0; i < count; i++)
    {
        auto entry = image.At<IMAGE_RESOURCE_DIRECTORY_ENTRY>(
            image.rsrcOffset + dir + sizeof header + i * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY));
        unsigned id = entry.NameIsString ? 0 : entry.Id;
        if (level == 0) current.type = id;
        else if (level == 1) current.name = id;
        else current.language = id;

        if (entry.DataIsDirectory)
        {
            Walk(image, entry.OffsetToDirectory, level + 1, current, out);
            continue;
        }
        auto data = image.At<IMAGE_RESOURCE_DATA_ENTRY>(image.rsrcOffset + entry.OffsetToData);
        DWORD start = image.FileOffset(data.OffsetToData);
        current.codepage = data.CodePage;
        if (start + data.Size <= image.bytes.size())
            current.data.assign(image.bytes.begin() + start, image.bytes.begin() + start + data.Size);
        out.push_back(current);
    }
}

} // namespace

std::vector<PeResource> ReadPeResources(const std::string &path)
{
    Image image;
    std::vector<PeResource> out;
    if (Load(path, image) && image.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE) != 0)
    {
        image.rsrcOffset = image.FileOffset(image.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE));
        Walk(image, 0, 0, PeResource{}, out);
    }
    return out;
}

std::vector<std::string> ReadPeImports(const std::string &path)
{
    Image image;
    std::vector<std::string> names;
    if (!Load(path, image) || image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT) == 0)
        return names;
    DWORD at = image.FileOffset(image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT));
    for (;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR))
    {
        auto import = image.At<IMAGE_IMPORT_DESCRIPTOR>(at);
        DWORD name = image.FileOffset(import.Name);
        if (import.Name == 0 || name == 0)
            break;
        names.emplace_back(reinterpret_cast<const char *>(&image.bytes[name]));
    }
    return names;
}

std::string ExecutableBeside(const char *name)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + name;
}
