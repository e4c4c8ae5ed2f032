// Reads the resource entries of a PE file as they are stored on disk, with the
// code page of each entry, which the resource API does not report.
#ifndef PINNIT_TESTS_PEIMAGE_H
#define PINNIT_TESTS_PEIMAGE_H

#include <string>
#include <vector>

struct PeResource
{
    unsigned type;
    unsigned name;
    unsigned language;
    unsigned codepage;
    std::vector<unsigned char> data;
};

// Empty when the file cannot be read or has no resources; named (non-numeric)
// types and names are reported as 0.
std::vector<PeResource> ReadPeResources(const std::string &path);

// The names of the DLLs the file imports from, as written in it.
std::vector<std::string> ReadPeImports(const std::string &path);

std::string ExecutableBeside(const char *name);

#endif
