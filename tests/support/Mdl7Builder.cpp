#include "support/Mdl7Builder.h"

#include "mdl/ByteOrder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>

namespace kelvane::test {

using namespace kelvane::mdl7;

namespace {

std::int32_t toI32(std::size_t n)
{
    return n > std::size_t(std::numeric_limits<std::int32_t>::max())
               ? std::numeric_limits<std::int32_t>::max()
               : static_cast<std::int32_t>(n);
}

} // namespace

// --- Record --------------------------------------------------------------------

void Mdl7Builder::Record::u8(std::size_t offset, std::uint8_t value)
{
    if (fits(offset, 1)) storeU8(&bytes_[offset], value);
}

void Mdl7Builder::Record::u16(std::size_t offset, std::uint16_t value)
{
    if (fits(offset, 2)) storeU16(&bytes_[offset], value);
}

void Mdl7Builder::Record::i32(std::size_t offset, std::int32_t value)
{
    if (fits(offset, 4)) storeI32(&bytes_[offset], value);
}

void Mdl7Builder::Record::f32(std::size_t offset, float value)
{
    if (fits(offset, 4)) storeF32(&bytes_[offset], value);
}

void Mdl7Builder::Record::name(std::size_t offset, std::size_t fieldSize, const std::string& text)
{
    // Copied byte for byte (no terminator is forced), so tests can fill a
    // field completely; what runs past the field or the record is dropped.
    for (std::size_t i = 0; i < text.size() && i < fieldSize; ++i) {
        u8(offset + i, static_cast<std::uint8_t>(text[i]));
    }
}

// --- Header ----------------------------------------------------------------------

Mdl7Builder::Mdl7Builder() : body_(kFileHeaderSize, 0)
{
    setMagic("MDL7");
    setRecordSize(header::kBoneRecordSize, kBoneRecordSize);
    setRecordSize(header::kSkinHeaderSize, kSkinHeaderSize);
    setRecordSize(header::kColourValueSize, kColourValueSize);
    setRecordSize(header::kMaterialRecordSize, kMaterialRecordSize);
    setRecordSize(header::kTexCoordRecordSize, kTexCoordRecordSize);
    setRecordSize(header::kTriangleRecordSize, kTriangleRecordSize);
    setRecordSize(header::kVertexRecordSize, kVertexRecordSize);
    setRecordSize(header::kFrameVertexRecordSize, kFrameVertexRecordSize);
    setRecordSize(header::kBoneTransformRecordSize, kBoneTransformRecordSize);
    setRecordSize(header::kFrameHeaderSize, kFrameHeaderSize);
}

Mdl7Builder& Mdl7Builder::setMagic(const std::string& fourChars)
{
    for (std::size_t i = 0; i < 4; ++i) {
        body_[header::kMagic + i] = i < fourChars.size() ? static_cast<std::uint8_t>(fourChars[i]) : 0;
    }
    return *this;
}

Mdl7Builder& Mdl7Builder::setVersion(std::int32_t version)
{
    storeI32(&body_[header::kVersion], version);
    return *this;
}

Mdl7Builder& Mdl7Builder::setBoneCount(std::int32_t count)
{
    boneCount_ = count;
    return *this;
}

Mdl7Builder& Mdl7Builder::setGroupCount(std::int32_t count)
{
    groupCount_ = count;
    return *this;
}

Mdl7Builder& Mdl7Builder::setModelDataSize(std::int32_t size)
{
    modelDataSize_ = size;
    return *this;
}

Mdl7Builder& Mdl7Builder::setTrailerSize(std::int32_t size)
{
    trailerSize_ = size;
    return *this;
}

Mdl7Builder& Mdl7Builder::setSecondTrailerSize(std::int32_t size)
{
    secondTrailerSize_ = size;
    return *this;
}

Mdl7Builder& Mdl7Builder::setRecordSize(int headerOffset, std::uint16_t size)
{
    storeU16(&body_[static_cast<std::size_t>(headerOffset)], size);
    return *this;
}

std::uint16_t Mdl7Builder::recordSize(int headerOffset) const
{
    return loadU16(&body_[static_cast<std::size_t>(headerOffset)]);
}

// --- Records -----------------------------------------------------------------------

Mdl7Builder& Mdl7Builder::append(const Record& record)
{
    body_.insert(body_.end(), record.bytes().begin(), record.bytes().end());
    return *this;
}

Mdl7Builder& Mdl7Builder::bone(std::uint16_t parentIndex, float x, float y, float z, const std::string& name)
{
    Record r(recordSize(header::kBoneRecordSize));
    r.u16(bone::kParentIndex, parentIndex);
    r.f32(bone::kX, x);
    r.f32(bone::kY, y);
    r.f32(bone::kZ, z);
    r.name(bone::kName, bone::kNameSize, name);
    ++bonesWritten_;
    return append(r);
}

void Mdl7Builder::closeGroup()
{
    if (!openGroup_) return;
    storeI32(&body_[*openGroup_ + group::kGroupDataSize], toI32(body_.size() - *openGroup_));
    openGroup_.reset();
}

Mdl7Builder& Mdl7Builder::group(const Group& g)
{
    closeGroup();
    const std::size_t start = body_.size();
    Record r(kGroupHeaderSize);
    r.u8(group::kType, g.type);
    r.u8(group::kDeformerCount, g.deformerCount);
    r.u8(group::kMaxWeights, g.maxWeights);
    r.i32(group::kGroupDataSize, g.groupDataSize.value_or(kGroupHeaderSize));
    r.name(group::kName, group::kNameSize, g.name);
    r.i32(group::kSkinCount, g.skinCount);
    r.i32(group::kTexCoordCount, g.texCoordCount);
    r.i32(group::kTriangleCount, g.triangleCount);
    r.i32(group::kVertexCount, g.vertexCount);
    r.i32(group::kFrameCount, g.frameCount);
    if (!g.groupDataSize) openGroup_ = start;
    ++groupsWritten_;
    return append(r);
}

Mdl7Builder& Mdl7Builder::skin(const Skin& s)
{
    Record r(recordSize(header::kSkinHeaderSize));
    r.u8(skin::kType, s.type);
    r.i32(skin::kWidth, s.width);
    r.i32(skin::kHeight, s.height);
    r.name(skin::kName, skin::kNameSize, s.name);
    return append(r);
}

Mdl7Builder& Mdl7Builder::material(const std::array<float, 17>& values)
{
    Record r(recordSize(header::kMaterialRecordSize));
    for (std::size_t i = 0; i < values.size(); ++i)
        r.f32(4 * i, values[i]);
    return append(r);
}

Mdl7Builder& Mdl7Builder::extra(std::int32_t length, const std::string& text)
{
    return i32(length).raw(text);
}

Mdl7Builder& Mdl7Builder::texCoord(float s, float t)
{
    Record r(recordSize(header::kTexCoordRecordSize));
    r.f32(texcoord::kS, s);
    r.f32(texcoord::kT, t);
    return append(r);
}

Mdl7Builder::Record Mdl7Builder::triangleRecord(const Triangle& t) const
{
    Record r(recordSize(header::kTriangleRecordSize));
    for (std::size_t i = 0; i < 3; ++i) {
        r.u16(triangle::kVertexIndex + 2 * i, t.vertex[i]);
        r.u16(triangle::kTexCoordIndex + 2 * i, t.texCoord[i]);
        r.u16(triangle::kTexCoordIndex2 + 2 * i, t.texCoord2[i]);
    }
    r.i32(triangle::kSkinIndex, t.skinIndex);
    r.i32(triangle::kSkinIndex2, t.skinIndex2);
    return r;
}

Mdl7Builder& Mdl7Builder::triangle(const Triangle& t) { return append(triangleRecord(t)); }

Mdl7Builder::Record Mdl7Builder::vertexRecord(const Vertex& v, int sizeOffset) const
{
    const std::uint16_t size = recordSize(sizeOffset);
    Record r(size);
    r.f32(vertex::kX, v.x);
    r.f32(vertex::kY, v.y);
    r.f32(vertex::kZ, v.z);
    r.u16(vertex::kIndex, v.index);
    if (size == vertex::kSizeWithNormalIndex) {
        r.u16(vertex::kNormal, v.normalIndex);
    } else {
        r.f32(vertex::kNormal, v.nx);
        r.f32(vertex::kNormal + 4, v.ny);
        r.f32(vertex::kNormal + 8, v.nz);
    }
    return r;
}

Mdl7Builder& Mdl7Builder::vertex(const Vertex& v)
{
    return append(vertexRecord(v, header::kVertexRecordSize));
}

Mdl7Builder& Mdl7Builder::frame(const Frame& f)
{
    Record r(recordSize(header::kFrameHeaderSize));
    r.name(frame::kName, frame::kNameSize, f.name);
    r.i32(frame::kFrameVertexCount, f.frameVertexCount);
    r.i32(frame::kBoneTransformCount, f.boneTransformCount);
    return append(r);
}

Mdl7Builder& Mdl7Builder::frameVertex(const Vertex& v)
{
    return append(vertexRecord(v, header::kFrameVertexRecordSize));
}

Mdl7Builder& Mdl7Builder::boneTransform(std::uint16_t boneIndex, const std::array<float, 16>& matrix)
{
    Record r(recordSize(header::kBoneTransformRecordSize));
    for (std::size_t i = 0; i < matrix.size(); ++i)
        r.f32(bonetransform::kMatrix + 4 * i, matrix[i]);
    r.u16(bonetransform::kBoneIndex, boneIndex);
    return append(r);
}

Mdl7Builder& Mdl7Builder::deformer(const Deformer& d)
{
    closeGroup();
    Record r(kDeformerHeaderSize);
    r.u8(deformer::kDeformerType, d.deformerType);
    r.i32(deformer::kGroupIndex, d.groupIndex);
    r.i32(deformer::kElementCount, d.elementCount);
    r.i32(deformer::kDeformerDataSize, d.deformerDataSize);
    return append(r);
}

Mdl7Builder& Mdl7Builder::deformerElement(std::int32_t elementIndex, const std::string& name,
                                          std::int32_t weightCount)
{
    Record r(kDeformerElementSize);
    r.i32(element::kElementIndex, elementIndex);
    r.name(element::kName, element::kNameSize, name);
    r.i32(element::kWeightCount, weightCount);
    return append(r);
}

Mdl7Builder& Mdl7Builder::deformerWeight(std::int32_t targetIndex, float weightValue)
{
    Record r(kDeformerWeightSize);
    r.i32(weight::kTargetIndex, targetIndex);
    r.f32(weight::kWeight, weightValue);
    return append(r);
}

Mdl7Builder& Mdl7Builder::beginTrailer()
{
    closeGroup();
    trailerStart_ = body_.size();
    return *this;
}

Mdl7Builder& Mdl7Builder::trailerHeader(std::int32_t trailerKind, std::int32_t trailerLength,
                                        std::int32_t entryCount)
{
    Record r(kTrailerHeaderSize);
    r.i32(trailer::kTrailerKind, trailerKind);
    r.i32(trailer::kTrailerLength, trailerLength);
    r.i32(trailer::kEntryCount, entryCount);
    return append(r);
}

Mdl7Builder& Mdl7Builder::trailerEntry(std::int32_t entryId, std::int32_t subEntryCount)
{
    return i32(entryId).i32(subEntryCount);
}

Mdl7Builder& Mdl7Builder::trailerSubEntry(std::int32_t subEntryId, std::int32_t triangleCount)
{
    return i32(subEntryId).i32(triangleCount);
}

Mdl7Builder& Mdl7Builder::trailerTriangle(const Triangle& t) { return append(triangleRecord(t)); }

Mdl7Builder& Mdl7Builder::beginSecondTrailer()
{
    closeGroup();
    secondTrailerStart_ = body_.size();
    return *this;
}

Mdl7Builder& Mdl7Builder::secondTrailerHeader(std::int32_t identifier, std::int32_t length)
{
    return i32(identifier).i32(length);
}

// --- Raw bytes ------------------------------------------------------------------------

Mdl7Builder& Mdl7Builder::u8(std::uint8_t value)
{
    body_.push_back(value);
    return *this;
}

Mdl7Builder& Mdl7Builder::u16(std::uint16_t value)
{
    Record r(2);
    r.u16(0, value);
    return append(r);
}

Mdl7Builder& Mdl7Builder::i32(std::int32_t value)
{
    Record r(4);
    r.i32(0, value);
    return append(r);
}

Mdl7Builder& Mdl7Builder::f32(float value)
{
    Record r(4);
    r.f32(0, value);
    return append(r);
}

Mdl7Builder& Mdl7Builder::raw(const std::string& bytes)
{
    body_.insert(body_.end(), bytes.begin(), bytes.end());
    return *this;
}

Mdl7Builder& Mdl7Builder::fill(std::size_t count, std::uint8_t value)
{
    body_.insert(body_.end(), count, value);
    return *this;
}

Mdl7Builder& Mdl7Builder::patchI32(std::size_t offset, std::int32_t value)
{
    if (offset + 4 <= body_.size()) {
        storeI32(&body_[offset], value);
    } else {
        ADD_FAILURE() << "patchI32 at " << offset << " lies beyond the " << body_.size() << " bytes built";
    }
    return *this;
}

// --- Output ------------------------------------------------------------------------------

std::vector<std::uint8_t> Mdl7Builder::bytes() const
{
    std::vector<std::uint8_t> out = body_;
    if (openGroup_) {
        storeI32(&out[*openGroup_ + group::kGroupDataSize], toI32(out.size() - *openGroup_));
    }
    const std::size_t end = out.size();
    const std::size_t secondStart = secondTrailerStart_.value_or(end);
    const std::size_t trailerStart = trailerStart_.value_or(secondStart);
    storeI32(&out[header::kBoneCount], boneCount_.value_or(bonesWritten_));
    storeI32(&out[header::kGroupCount], groupCount_.value_or(groupsWritten_));
    storeI32(&out[header::kModelDataSize], modelDataSize_.value_or(toI32(trailerStart)));
    storeI32(&out[header::kTrailerSize], trailerSize_.value_or(toI32(secondStart - trailerStart)));
    storeI32(&out[header::kSecondTrailerSize], secondTrailerSize_.value_or(toI32(end - secondStart)));
    return out;
}

std::string Mdl7Builder::writeTo(const std::string& path) const
{
    writeFile(path, bytes());
    return path;
}

std::string Mdl7Builder::writeTo(const std::string& path, std::size_t length) const
{
    std::vector<std::uint8_t> data = bytes();
    if (length < data.size()) data.resize(length);
    writeFile(path, data);
    return path;
}

bool Mdl7Builder::writeFile(const std::string& path, const std::vector<std::uint8_t>& data)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot create " << path;
        return false;
    }
    const bool written = data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) ADD_FAILURE() << "cannot write " << path;
    return written && closed;
}

} // namespace kelvane::test
