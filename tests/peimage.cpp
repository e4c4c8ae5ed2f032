#include "peimage.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

struct Image
{
    std::vector<unsigned char> bytes;
    DWORD rsrcRva = 0, rsrcOffset = 0;

    template <typename T> T At(DWORD offset) const
    {
        T value{};
        if (offset + sizeof(T) <= bytes.size())
            std::memcpy(&value, &bytes[offset], sizeof(T));
        return value;
    }
    DWORD FileOffset(DWORD rva) const { return rva - rsrcRva + rsrcOffset; }
};

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
    std::ifstream file(path, std::ios::binary);
    image.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());

    auto dos = image.At<IMAGE_DOS_HEADER>(0);
    auto nt = image.At<IMAGE_NT_HEADERS32>(dos.e_lfanew);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || nt.Signature != IMAGE_NT_SIGNATURE)
        return {};
    image.rsrcRva = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;

    DWORD sections = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                     nt.FileHeader.SizeOfOptionalHeader;
    for (int i = 0; i < nt.FileHeader.NumberOfSections; i++)
    {
        auto section = image.At<IMAGE_SECTION_HEADER>(sections + i * sizeof(IMAGE_SECTION_HEADER));
        if (image.rsrcRva >= section.VirtualAddress &&
            image.rsrcRva < section.VirtualAddress + section.Misc.VirtualSize)
            image.rsrcOffset = section.PointerToRawData + (image.rsrcRva - section.VirtualAddress);
    }

    std::vector<PeResource> out;
    if (image.rsrcRva != 0 && image.rsrcOffset != 0)
        Walk(image, 0, 0, PeResource{}, out);
    return out;
}

std::string ExecutableBeside(const char *name)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + name;
}
