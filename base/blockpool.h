// Pool allocators for many equal or small blocks; each guards its tables with its own lock.
#pragma once

#include "base/flock.h"
#include "base/tarray.h"

#include <cstdint>

namespace Calvereth {

// One block of FObjectAllocator: 65535 elements, free indices kept on a 16-bit stack.
struct FObjectBlock
{
    static constexpr uint32_t kElements = 65535;
    uint16_t* freeStack;
    uint8_t* memory;
    uint16_t freeCount;
    uint16_t nextUnused;
    uint16_t elementSize;
};

// Fixed-size elements, handed out from blocks of 65535; blocks are kept until destruction.
class FObjectAllocator
{
public:
    // A block holds the element size in 16 bits: a size above 65535 is refused (no block is made
    // and allocate answers null). A size of 0 gives elements of 1 byte.
    explicit FObjectAllocator(uint32_t elementSize);
    ~FObjectAllocator();
    FObjectAllocator(const FObjectAllocator&) = delete;
    FObjectAllocator& operator=(const FObjectAllocator&) = delete;

    void* allocate(); // null when the element size was refused or memory runs out
    void free(void* address);

private:
    static FObjectBlock* newBlock(uint16_t elementSize);
    static void deleteBlock(FObjectBlock* block);

    FLock lock;
    uint16_t elementSize; // 0: refused
    TArray<FObjectBlock*> blocks;
};

// Variable-size chunks carved from large zeroed regions. A chunk is a 12-byte header (magic,
// data size, used flag) followed by its data.
class FBlockAllocator
{
public:
    static constexpr uint32_t kBlockMagic = 0x40834779;
    static constexpr uint32_t kHeaderSize = 12;
    struct Block
    {
        int32_t size = 0;
        uint8_t* memory = nullptr;
        bool operator==(const Block& other) const { return memory == other.memory; }
    };

    explicit FBlockAllocator(uint32_t initialRegionSize);
    ~FBlockAllocator();
    FBlockAllocator(const FBlockAllocator&) = delete;
    FBlockAllocator& operator=(const FBlockAllocator&) = delete;

    // A chunk of at least n bytes, or null (n = 0, n too large, or no memory).
    void* allocate(uint32_t n);
    // Marks the chunk whose data starts at address as free again; false when it is not one of ours.
    bool release(void* address);

    uint32_t getRegionSize() const { return regionSize; }
    int32_t getRegionCount() const { return blocks.count(); }

private:
    TArray<Block> blocks;
    uint32_t regionSize;
    FLock lock;
};

// Blocks of memory linked through their first 8 bytes, the last pushed on top (no lock of its own).
struct BlockStack
{
    void* top = nullptr;
    void push(void* block);
    void* pop(); // null when empty
};

// Fixed-size elements carved from chunks; one free list, last returned first handed out.
class ChunkPool
{
public:
    ChunkPool(uint32_t elementsPerChunk, uint32_t elementSize);
    ~ChunkPool();
    ChunkPool(const ChunkPool&) = delete;
    ChunkPool& operator=(const ChunkPool&) = delete;

    void* allocate(); // null only when memory runs out
    void free(void* address);
    // Allocates one chunk and links its elements in address order; takes no lock and leaves the
    // free list alone.
    void* addChunk();

private:
    uint32_t elementsPerChunk;
    uint32_t elementSize;
    BlockStack freeElements;
    TArray<void*> chunks;
    FLock lock;
};

// Keeps up to a maximum of returned blocks of one size for reuse.
class RecyclePool
{
public:
    RecyclePool(uint32_t maxKept, uint32_t blockSize);
    ~RecyclePool();
    RecyclePool(const RecyclePool&) = delete;
    RecyclePool& operator=(const RecyclePool&) = delete;

    void* allocate();
    void free(void* address);
    int32_t keptCount();

private:
    uint32_t maxKept;
    uint32_t blockSize;
    int32_t kept = 0;
    BlockStack keptBlocks;
    FLock lock;
};

} // namespace Calvereth
