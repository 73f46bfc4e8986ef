#include "base/blockpool.h"

#include <cstdlib>
#include <cstring>

namespace Calvereth {

//------------------------------------------------------------------------ FObjectAllocator
FObjectBlock* FObjectAllocator::newBlock(uint16_t elementSize)
{
    auto* block = static_cast<FObjectBlock*>(std::malloc(sizeof(FObjectBlock)));
    if (!block)
        return nullptr;
    block->freeStack = static_cast<uint16_t*>(std::malloc(FObjectBlock::kElements * sizeof(uint16_t)));
    block->memory = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(FObjectBlock::kElements) * elementSize));
    block->freeCount = 0;
    block->nextUnused = 0;
    block->elementSize = elementSize;
    if (!block->freeStack || !block->memory) {
        deleteBlock(block);
        return nullptr;
    }
    return block;
}

void FObjectAllocator::deleteBlock(FObjectBlock* block)
{
    std::free(block->freeStack);
    std::free(block->memory);
    std::free(block);
}

// Cut to 16 bits, a larger size would hand out overlapping elements.
FObjectAllocator::FObjectAllocator(uint32_t size)
: elementSize(size > 0xFFFF ? 0 : static_cast<uint16_t>(size ? size : 1)), blocks(0, 10)
{
    if (elementSize == 0)
        return;
    if (FObjectBlock* first = newBlock(elementSize))
        blocks.add(first);
}

FObjectAllocator::~FObjectAllocator()
{
    for (int32_t i = 0; i < blocks.count(); ++i)
        deleteBlock(blocks.at(i));
}

void* FObjectAllocator::allocate()
{
    FGuard guard(lock);
    FObjectBlock* block = nullptr;
    for (int32_t i = 0; i < blocks.count() && !block; ++i) {
        FObjectBlock* b = blocks.at(i);
        if (b->freeCount > 0 || b->nextUnused < FObjectBlock::kElements)
            block = b;
    }
    if (!block) {
        if (elementSize == 0)
            return nullptr;
        block = newBlock(elementSize);
        if (!block)
            return nullptr;
        if (!blocks.add(block)) {
            deleteBlock(block);
            return nullptr;
        }
    }
    uint32_t index;
    if (block->freeCount > 0)
        index = block->freeStack[--block->freeCount];
    else
        index = block->nextUnused++;
    return block->memory + static_cast<size_t>(index) * block->elementSize;
}

void FObjectAllocator::free(void* address)
{
    if (!address)
        return;
    FGuard guard(lock);
    const auto* p = static_cast<const uint8_t*>(address);
    for (int32_t i = 0; i < blocks.count(); ++i) {
        FObjectBlock* b = blocks.at(i);
        const size_t span = static_cast<size_t>(FObjectBlock::kElements) * b->elementSize;
        if (p < b->memory || p >= b->memory + span)
            continue;
        // A full stack means the address was freed twice; the stack must not overflow.
        if (b->freeCount < FObjectBlock::kElements)
            b->freeStack[b->freeCount++] = static_cast<uint16_t>(static_cast<size_t>(p - b->memory) / b->elementSize);
    }
}

//------------------------------------------------------------------------ FBlockAllocator
namespace {

struct ChunkHeader
{
    uint32_t magic;
    uint32_t size;
    uint8_t used;
    uint8_t unused[3];
};
static_assert(sizeof(ChunkHeader) == FBlockAllocator::kHeaderSize);

ChunkHeader readHeader(const uint8_t* at)
{
    ChunkHeader h;
    std::memcpy(&h, at, sizeof(h));
    return h;
}

void writeHeader(uint8_t* at, uint32_t size, uint8_t used)
{
    ChunkHeader h{FBlockAllocator::kBlockMagic, size, used, {0, 0, 0}};
    std::memcpy(at, &h, sizeof(h));
}

constexpr uint64_t kMaxRegion = 0x7FFFFFFF; // a region's size is held as int32

} // namespace

FBlockAllocator::FBlockAllocator(uint32_t initialRegionSize) : blocks(0, 10), regionSize(initialRegionSize) {}

FBlockAllocator::~FBlockAllocator()
{
    for (int32_t i = 0; i < blocks.count(); ++i)
        std::free(blocks.at(i).memory);
}

void* FBlockAllocator::allocate(uint32_t n)
{
    if (n == 0 || static_cast<uint64_t>(n) + kHeaderSize > kMaxRegion)
        return nullptr;
    const uint64_t need = static_cast<uint64_t>(n) + kHeaderSize;
    FGuard guard(lock);
    uint8_t* taken = nullptr;
    for (int32_t r = 0; r < blocks.count() && !taken; ++r) {
        const Block& region = blocks.at(r);
        const uint64_t end = static_cast<uint64_t>(region.size);
        uint64_t offset = 0;
        int64_t previousFree = -1; // offset of the chunk just left when it is free
        while (offset < end && offset < (1ull << 31)) {
            if (end - offset < need)
                break;
            uint8_t* at = region.memory + offset;
            ChunkHeader h = readHeader(at);
            if (h.size == 0) { // untouched space
                writeHeader(at, n, 0);
                taken = at;
                break;
            }
            if (h.magic != kBlockMagic)
                break;
            if (!h.used && h.size >= n) {
                if (h.size > 2ull * n + 24) {
                    writeHeader(at + kHeaderSize + n, h.size - n - kHeaderSize, 0);
                    writeHeader(at, n, 0);
                }
                taken = at;
                break;
            }
            if (!h.used && previousFree >= 0) {
                uint8_t* prev = region.memory + previousFree;
                const ChunkHeader p = readHeader(prev);
                const uint64_t merged = static_cast<uint64_t>(p.size) + kHeaderSize + h.size;
                if (merged >= n) {
                    writeHeader(prev, static_cast<uint32_t>(merged), 0);
                    taken = prev;
                    break;
                }
            }
            previousFree = h.used ? -1 : static_cast<int64_t>(offset);
            offset += kHeaderSize + static_cast<uint64_t>(h.size);
        }
    }
    if (!taken) {
        // A stored size of 0 would double forever; the region must also hold the header.
        uint64_t size = regionSize ? regionSize : 1;
        if (size / 2 < n) {
            while (size < n)
                size *= 2;
            size *= 2;
        }
        while (size < need)
            size *= 2;
        if (size > kMaxRegion)
            size = need;
        auto* memory = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(size)));
        if (!memory)
            return nullptr;
        Block block;
        block.size = static_cast<int32_t>(size);
        block.memory = memory;
        if (!blocks.add(block)) {
            std::free(memory);
            return nullptr;
        }
        regionSize = static_cast<uint32_t>(size);
        writeHeader(memory, n, 0);
        taken = memory;
    }
    ChunkHeader h = readHeader(taken);
    writeHeader(taken, h.size, 1);
    return taken + kHeaderSize;
}

bool FBlockAllocator::release(void* address)
{
    if (!address)
        return false;
    auto* data = static_cast<uint8_t*>(address);
    FGuard guard(lock);
    for (int32_t r = 0; r < blocks.count(); ++r) {
        const Block& region = blocks.at(r);
        if (data < region.memory + kHeaderSize || data >= region.memory + region.size)
            continue;
        uint8_t* at = data - kHeaderSize;
        ChunkHeader h = readHeader(at);
        if (h.magic != kBlockMagic || !h.used)
            return false;
        writeHeader(at, h.size, 0);
        return true;
    }
    return false;
}

//------------------------------------------------------------------------ BlockStack
void BlockStack::push(void* block)
{
    std::memcpy(block, &top, sizeof(void*));
    top = block;
}

void* BlockStack::pop()
{
    void* block = top;
    if (block)
        std::memcpy(&top, block, sizeof(void*));
    return block;
}

//------------------------------------------------------------------------ ChunkPool
ChunkPool::ChunkPool(uint32_t perChunk, uint32_t size)
: elementsPerChunk(perChunk ? perChunk : 1), elementSize(size < 8 ? 8 : size), chunks(0, 10)
{}

ChunkPool::~ChunkPool()
{
    for (int32_t i = 0; i < chunks.count(); ++i)
        std::free(chunks.at(i));
}

void* ChunkPool::addChunk()
{
    const uint64_t bytes = static_cast<uint64_t>(elementsPerChunk) * elementSize;
    if (bytes > SIZE_MAX)
        return nullptr;
    auto* chunk = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
    if (!chunk)
        return nullptr;
    if (!chunks.add(chunk)) {
        std::free(chunk);
        return nullptr;
    }
    // Pushed from the last element down, the first lies on top and each links to the next.
    BlockStack elements;
    for (uint32_t i = elementsPerChunk; i-- > 0;)
        elements.push(chunk + static_cast<size_t>(i) * elementSize);
    return elements.top;
}

void* ChunkPool::allocate()
{
    FGuard guard(lock);
    if (!freeElements.top) {
        freeElements.top = addChunk();
        if (!freeElements.top)
            return nullptr;
    }
    return freeElements.pop();
}

void ChunkPool::free(void* address)
{
    if (!address)
        return;
    FGuard guard(lock);
    freeElements.push(address);
}

//------------------------------------------------------------------------ RecyclePool
RecyclePool::RecyclePool(uint32_t maximum, uint32_t size) : maxKept(maximum), blockSize(size < 8 ? 8 : size) {}

RecyclePool::~RecyclePool()
{
    while (void* block = keptBlocks.pop())
        std::free(block);
}

void* RecyclePool::allocate()
{
    {
        FGuard guard(lock);
        if (kept > 0 && keptBlocks.top) {
            --kept;
            return keptBlocks.pop();
        }
    }
    return std::malloc(blockSize);
}

void RecyclePool::free(void* address)
{
    if (!address)
        return;
    {
        FGuard guard(lock);
        if (static_cast<uint32_t>(kept) < maxKept) {
            keptBlocks.push(address);
            ++kept;
            return;
        }
    }
    std::free(address);
}

int32_t RecyclePool::keptCount()
{
    FGuard guard(lock);
    return kept;
}

} // namespace Calvereth
