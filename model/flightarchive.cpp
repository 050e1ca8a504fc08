#include "model/flightarchive.h"

#include <boost/archive/archive_exception.hpp>
#include <boost/archive/basic_archive.hpp>
#include <boost/archive/impl/archive_serializer_map.ipp>
#include <boost/archive/impl/basic_binary_iarchive.ipp>
#include <boost/archive/impl/basic_binary_iprimitive.ipp>
#include <boost/archive/impl/basic_binary_oarchive.ipp>
#include <boost/archive/impl/basic_binary_oprimitive.ipp>
#include <algorithm>

namespace {

using boost::archive::archive_exception;

constexpr quint16 fileLibraryVersion = 15;
constexpr unsigned char fileIntSize = 4;
constexpr unsigned char fileLongSize = 4;
constexpr unsigned char fileFloatSize = 4;
constexpr unsigned char fileDoubleSize = 8;
// Strings are read in pieces, so that a damaged length cannot make us
// allocate more than the file holds.
constexpr quint32 stringChunk = 64 * 1024;

} // namespace

FlightOArchive::FlightOArchive(std::ostream &stream)
    : Base(stream, boost::archive::no_header)
{
    save(std::string(boost::archive::BOOST_ARCHIVE_SIGNATURE()));
    save(fileLibraryVersion);
    save(fileIntSize);
    save(fileLongSize);
    save(fileFloatSize);
    save(fileDoubleSize);
    save(qint32(1)); // endian marker
}

void FlightOArchive::save(const std::string &text)
{
    save(quint32(text.size()));
    save_binary(text.data(), text.size());
}

void FlightOArchive::save_override(const boost::serialization::collection_size_type &count)
{
    save(quint32(count));
}

FlightIArchive::FlightIArchive(std::istream &stream)
    : Base(stream, boost::archive::no_header)
{
    std::string signature;
    load(signature);
    if (signature != boost::archive::BOOST_ARCHIVE_SIGNATURE())
        throw archive_exception(archive_exception::invalid_signature);
    quint16 libraryVersion = 0;
    load(libraryVersion);
    if (boost::archive::BOOST_ARCHIVE_VERSION() < boost::serialization::library_version_type(libraryVersion))
        throw archive_exception(archive_exception::unsupported_version);
    set_library_version(boost::serialization::library_version_type(libraryVersion));
    checkNativeSize("size of int", fileIntSize);
    checkNativeSize("size of long", fileLongSize);
    checkNativeSize("size of float", fileFloatSize);
    checkNativeSize("size of double", fileDoubleSize);
    qint32 endianMarker = 0;
    load(endianMarker);
    if (endianMarker != 1)
        throw archive_exception(archive_exception::incompatible_native_format, "endian setting");
}

void FlightIArchive::checkNativeSize(const char *item, unsigned char expected)
{
    unsigned char size = 0;
    load(size);
    if (size != expected)
        throw archive_exception(archive_exception::incompatible_native_format, item);
}

void FlightIArchive::load(std::string &text)
{
    quint32 remaining = 0;
    load(remaining);
    std::string loaded;
    while (remaining > 0) {
        const quint32 piece = std::min(remaining, stringChunk);
        const size_t start = loaded.size();
        loaded.resize(start + piece);
        load_binary(&loaded[start], piece);
        remaining -= piece;
    }
    text.swap(loaded);
}

void FlightIArchive::load(bool &value)
{
    unsigned char byte = 0;
    load(byte);
    value = byte != 0;
}

void FlightIArchive::load_array(boost::serialization::array_wrapper<bool> &array, unsigned int)
{
    for (std::size_t i = 0; i < array.count(); ++i)
        load(array.address()[i]);
}

void FlightIArchive::load_override(boost::serialization::collection_size_type &count)
{
    quint32 stored = 0;
    load(stored);
    count = boost::serialization::collection_size_type(stored);
}

void FlightIArchive::load_override(boost::archive::tracking_type &tracking)
{
    unsigned char byte = 0;
    load(byte);
    tracking = boost::archive::tracking_type(byte != 0);
}

void FlightIArchive::load_override(boost::archive::class_id_type &classId)
{
    Base::load_override(classId);
    // -1 marks a null pointer; anything below would index outside the class table.
    if (int(classId) < -1)
        throw archive_exception(archive_exception::unregistered_class);
}

std::streampos FlightIArchive::position()
{
    return m_sb.pubseekoff(0, std::ios_base::cur, std::ios_base::in);
}

void FlightIArchive::rewind(std::streampos position)
{
    if (m_sb.pubseekpos(position, std::ios_base::in) != position)
        throw archive_exception(archive_exception::input_stream_error);
}

std::streamoff FlightIArchive::remainingBytes()
{
    const std::streampos here = position();
    if (here == std::streampos(-1))
        return -1;
    const std::streampos end = m_sb.pubseekoff(0, std::ios_base::end, std::ios_base::in);
    rewind(here);
    return end == std::streampos(-1) ? -1 : end - here;
}

namespace boost {
namespace archive {
template class detail::archive_serializer_map<FlightOArchive>;
template class detail::archive_serializer_map<FlightIArchive>;
template class basic_binary_oprimitive<FlightOArchive, char, std::char_traits<char>>;
template class basic_binary_iprimitive<FlightIArchive, char, std::char_traits<char>>;
template class basic_binary_oarchive<FlightOArchive>;
template class basic_binary_iarchive<FlightIArchive>;
} // namespace archive
} // namespace boost
