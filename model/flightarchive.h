#pragma once

#include <boost/archive/binary_iarchive_impl.hpp>
#include <boost/archive/binary_oarchive_impl.hpp>
#include <boost/archive/detail/register_archive.hpp>
#include <QtGlobal>
#include <boost/serialization/array_wrapper.hpp>
#include <boost/serialization/collection_size_type.hpp>
#include <istream>
#include <ostream>
#include <string>

// Flight files are binary archives as the original 32-bit build wrote them:
// header with library version 15 and the sizes int 4, long 4, float 4,
// double 8 and endian marker 1, and every item that the stock binary archive
// writes with the width of size_t (signature length, string lengths,
// collection counts) in 4 bytes.  The stock archive of a 64-bit platform
// writes 8 there and rejects these files, so flight files use only this pair.

class FlightOArchive
    : public boost::archive::binary_oarchive_impl<FlightOArchive, char, std::char_traits<char>>
{
    using Base = boost::archive::binary_oarchive_impl<FlightOArchive, char, std::char_traits<char>>;

public:
    // Writes the header at once.
    explicit FlightOArchive(std::ostream &stream);

    friend class boost::archive::detail::interface_oarchive<FlightOArchive>;
    friend class boost::archive::detail::common_oarchive<FlightOArchive>;
    friend class boost::archive::basic_binary_oarchive<FlightOArchive>;
    friend class boost::archive::basic_binary_oprimitive<FlightOArchive, char, std::char_traits<char>>;
    friend class boost::archive::save_access;

    using Base::save;
    void save(const std::string &text);

    template<class T>
    void save_override(const T &item)
    {
        Base::save_override(item);
    }
    void save_override(const boost::serialization::collection_size_type &count);
};

class FlightIArchive
    : public boost::archive::binary_iarchive_impl<FlightIArchive, char, std::char_traits<char>>
{
    using Base = boost::archive::binary_iarchive_impl<FlightIArchive, char, std::char_traits<char>>;

public:
    // Reads and checks the header; throws boost::archive::archive_exception
    // for a wrong signature, a too new library version or other native sizes.
    explicit FlightIArchive(std::istream &stream);

    friend class boost::archive::detail::interface_iarchive<FlightIArchive>;
    friend class boost::archive::detail::common_iarchive<FlightIArchive>;
    friend class boost::archive::basic_binary_iarchive<FlightIArchive>;
    friend class boost::archive::basic_binary_iprimitive<FlightIArchive, char, std::char_traits<char>>;
    friend class boost::archive::load_access;

    using Base::load;
    void load(std::string &text);
    // Damaged files may hold any byte where a bool belongs.
    void load(bool &value);
    // Arrays are read as raw bytes, which would carry such a byte into a bool.
    using Base::load_array;
    void load_array(boost::serialization::array_wrapper<bool> &array, unsigned int version);

    template<class T>
    void load_override(T &item)
    {
        Base::load_override(item);
    }
    void load_override(boost::serialization::collection_size_type &count);
    void load_override(boost::archive::tracking_type &tracking);
    void load_override(boost::archive::class_id_type &classId);

    // Where the next item starts (-1 when the stream cannot tell), and going
    // back there: a reader that meets a layout it does not know leaves it to
    // the archive's own reading.
    std::streampos position();
    void rewind(std::streampos position);
    // -1 when the stream cannot tell.
    std::streamoff remainingBytes();

private:
    void checkNativeSize(const char *item, unsigned char expected);
};

BOOST_SERIALIZATION_REGISTER_ARCHIVE(FlightOArchive)
BOOST_SERIALIZATION_USE_ARRAY_OPTIMIZATION(FlightOArchive)
BOOST_SERIALIZATION_REGISTER_ARCHIVE(FlightIArchive)
BOOST_SERIALIZATION_USE_ARRAY_OPTIMIZATION(FlightIArchive)
