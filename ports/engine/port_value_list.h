// A port source held in memory: what the Linux survey finds, or what a test scripts.
#pragma once

#include <string>
#include <vector>

#include "ports/engine/port_source.h"

class PortValueList : public PortSource {
public:
    // Data is raw bytes, with or without a terminator.
    void Add(std::string name, std::string data) {
        m_values.push_back(Value{std::move(name), std::move(data)});
    }
    void Clear() { m_values.clear(); }

    bool IsOpen() const override { return m_bOpen; }
    bool ReadValue(std::uint32_t index, char* name, std::uint32_t* nameLength, unsigned char* data,
                   std::uint32_t* dataLength) override;

protected:
    void SetOpen(bool open) { m_bOpen = open; }

private:
    struct Value {
        std::string name;
        std::string data;
    };
    std::vector<Value> m_values;
    bool m_bOpen = true;
};
