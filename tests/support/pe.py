"""Reading a PE file's header and import table."""
import struct


class PortableExecutable:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        (pe_offset,) = struct.unpack_from("<I", self.data, 0x3C)
        if self.data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise ValueError(f"{path} is not a PE file")
        self.machine, self.section_count = struct.unpack_from("<HH", self.data, pe_offset + 4)
        (optional_size,) = struct.unpack_from("<H", self.data, pe_offset + 20)
        optional = pe_offset + 24
        (self.magic,) = struct.unpack_from("<H", self.data, optional)
        (self.subsystem,) = struct.unpack_from("<H", self.data, optional + 68)
        directories = optional + (96 if self.magic == 0x10B else 112)
        self.import_rva, _ = struct.unpack_from("<II", self.data, directories + 8)
        self.sections = []
        for index in range(self.section_count):
            header = optional + optional_size + 40 * index
            virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from("<IIII", self.data, header + 8)
            self.sections.append((virtual_address, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for virtual_address, size, raw_offset in self.sections:
            if virtual_address <= rva < virtual_address + size:
                return raw_offset + rva - virtual_address
        raise ValueError(f"RVA {rva:#x} lies in no section")

    def imported_libraries(self):
        names = []
        entry = self.offset(self.import_rva)
        while True:
            fields = struct.unpack_from("<IIIII", self.data, entry)
            if not any(fields):
                return names
            start = self.offset(fields[3])
            names.append(self.data[start:self.data.index(b"\0", start)].decode("ascii"))
            entry += 20
