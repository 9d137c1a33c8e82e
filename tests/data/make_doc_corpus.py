#!/usr/bin/env python3
"""Writes the Doc files of the reader tests: sound ones and damaged ones.

expected.txt lists each file with the status a decode of it must end in.
Run it from this folder after changing the cases; the files are committed.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "docs")


def header(name=b"book", type_=b"TEXt", creator=b"REAd", count=2, link=0):
    field = (name + b"\0").ljust(32, b" ")[:32]
    return (field + struct.pack(">HHIIIIII", 0, 0, 0xB0000000, 0xB0000000, 0, 0, 0, 0)
            + type_ + creator + struct.pack(">IIH", 0, link, count))


def doc(records, name=b"book", type_=b"TEXt", creator=b"REAd", count=None, offsets=None):
    """A database of the given records, laid out as the writer lays them out."""
    count = len(records) if count is None else count
    head = header(name, type_, creator, count)
    start = len(head) + 8 * len(records)
    entries = b""
    position = start
    real = []
    for index, record in enumerate(records):
        real.append(position)
        position += len(record)
    if offsets is not None:
        real = offsets
    for index, offset in enumerate(real):
        attribute = 0x40
        entries += struct.pack(">IB", offset, attribute) + (0x6F8000 + index).to_bytes(3, "big")
    return head + entries + b"".join(records)


def docinfo(version, count, length=0, record_size=4096):
    return struct.pack(">HHIHHI", version, 0, length, count, record_size, 0)


TEXT1 = b"Hello, Palm.\nSecond line.\n"
TEXT2 = b"The end.\n"
# ASCII from 0x09 to 0x7F is its own compressed form: each byte a literal token.
cases = {
    # sound files
    "plain.pdb": (doc([docinfo(1, 2), TEXT1, TEXT2]), "OK"),
    "compressed.pdb": (doc([docinfo(2, 2), TEXT1, b"\x01\x80" + TEXT2]), "OK"),
    "version_word_0101.pdb": (doc([docinfo(0x0101, 1), TEXT1]), "OK"),
    "bookmarks_after_text.pdb": (doc([docinfo(1, 1), TEXT1, b"bookmark"]), "OK"),
    # other writers end a text of whole records with an empty one, or leave one empty
    "empty_last_record.pdb": (doc([docinfo(1, 2, len(TEXT1)), TEXT1, b""]), "OK"),
    "empty_middle_record.pdb": (doc([docinfo(2, 3, len(TEXT1 + TEXT2)), TEXT1, b"", b"\x01\x80" + TEXT2]), "OK"),
    # records of 8,192 bytes: "a" then 600 copies of 10 bytes at distance 1
    "compressed_6001_bytes.pdb": (doc([docinfo(2, 1, 6001, 8192), b"a" + b"\x80\x0f" * 600]), "OK"),
    # damaged files, in the order the reader checks them
    "short_81_bytes.pdb": (doc([docinfo(1, 1), TEXT1])[:81], "Error: unknown or corrupted Palm File header"),
    "empty.pdb": (b"", "Error: unknown or corrupted Palm File header"),
    "type_text.pdb": (doc([docinfo(1, 1), TEXT1], type_=b"TEXT"), "Error: Palm File type or creator not supported"),
    "creator_read.pdb": (doc([docinfo(1, 1), TEXT1], creator=b"READ"), "Error: Palm File type or creator not supported"),
    "one_record.pdb": (doc([docinfo(1, 1), TEXT1], count=1), "Error: Palm File corrupt or wrong format"),
    "no_records.pdb": (doc([docinfo(1, 1), TEXT1], count=0), "Error: Palm File corrupt or wrong format"),
    "exactly_82_bytes.pdb": (doc([docinfo(1, 1), TEXT1])[:82], "Error: could not get DocInfo of Palm File"),
    "docinfo_offset_past_end.pdb": (doc([docinfo(1, 1), TEXT1], offsets=[5000, 120]), "Error: could not get DocInfo of Palm File"),
    "docinfo_short.pdb": (doc([docinfo(1, 1)[:12], TEXT1]), "Error: DocInfo in Palm File unknown"),
    "docinfo_version_3.pdb": (doc([docinfo(3, 1), TEXT1]), "Error: DocInfo in Palm File unknown"),
    "docinfo_count_0.pdb": (doc([docinfo(1, 0), TEXT1]), "Error: DocInfo in Palm File unknown"),
    "docinfo_count_equals_total.pdb": (doc([docinfo(1, 2), TEXT1]), "Error: DocInfo in Palm File unknown"),
    "text_offset_past_end.pdb": (doc([docinfo(1, 2), TEXT1, TEXT2], offsets=[102, 118, 9000]), "Error: Palm File corrupt"),
    "text_offsets_backwards.pdb": (doc([docinfo(1, 2), TEXT1, TEXT2], offsets=[102, 140, 118]), "Error: Palm File corrupt"),
    "entry_cut_off.pdb": (doc([docinfo(1, 2), TEXT1, TEXT2], count=3)[:96], "Error: could not get DocInfo of Palm File"),
    "compressed_distance_0.pdb": (doc([docinfo(2, 1), b"abc\x80\x00"]), "Error: Palm File corrupt"),
    "compressed_before_start.pdb": (doc([docinfo(2, 1), b"abc\x80\x20"]), "Error: Palm File corrupt"),
    "compressed_truncated_reference.pdb": (doc([docinfo(2, 1), b"abc\x80"]), "Error: Palm File corrupt"),
    "compressed_truncated_run.pdb": (doc([docinfo(2, 1), b"abc\x05\x90\x91"]), "Error: Palm File corrupt"),
    "compressed_over_65535.pdb": (doc([docinfo(2, 1), b"a" + b"\x80\x0f" * 6554]), "Error: Palm File corrupt"),
    # cut where the last record starts: it reads as empty while DocInfo still owes its text
    "cut_at_last_record.pdb": (doc([docinfo(1, 2, len(TEXT1 + TEXT2)), TEXT1, b""]), "Error: Palm File corrupt"),
    "cut_at_last_compressed_record.pdb": (doc([docinfo(2, 2, len(TEXT1 + TEXT2)), TEXT1, b""]),
                                          "Error: Palm File corrupt"),
}

# A record list whose link leads back to the first list: counting must end.
looped = bytearray(doc([docinfo(1, 1), TEXT1]))
looped[72:76] = struct.pack(">I", 72)
cases["record_list_loop.pdb"] = (bytes(looped), "Error: Could not open Palm or PC File")
forward = bytearray(doc([docinfo(1, 1), TEXT1]))
forward[72:76] = struct.pack(">I", 0x7FFFFFF0)
cases["record_list_link_past_end.pdb"] = (bytes(forward), "Error: Could not open Palm or PC File")
# a sound file whose text record sits in a second record list, linked from the first
cases["two_record_lists.pdb"] = (header(count=1, link=86) + struct.pack(">IIIHII", 100, 0x406F8000, 0, 1, 116, 0x406F8001)
                                 + docinfo(1, 1) + TEXT1, "OK")

# records inside the header: a name field laid out as DocInfo would pass for
# record 0 at offset 0, and record 1 would read the header and the list as text
fake = docinfo(1, 1)
cases["records_inside_header.pdb"] = (doc([fake, TEXT1], name=fake, offsets=[0, 16]),
                                      "Error: could not get DocInfo of Palm File")
# a plain record longer than any text record holds
cases["plain_record_over_65535.pdb"] = (doc([docinfo(1, 1), b"a" * 65536]), "Error: Palm File corrupt")

# a second record list that starts right at the end: its entries are not there
at_end = 78 + 8 + 16 + len(TEXT1)
cases["second_list_at_end.pdb"] = (header(count=1, link=at_end) + struct.pack(">II", 86, 0x406F8000) + docinfo(1, 1)
                                   + TEXT1 + struct.pack(">IH", 0, 1), "Error: Palm File corrupt")

os.makedirs(OUT, exist_ok=True)
with open(os.path.join(OUT, "expected.txt"), "w") as manifest:
    for name, (data, status) in sorted(cases.items()):
        with open(os.path.join(OUT, name), "wb") as out:
            out.write(data)
        manifest.write(f"{name}\t{status}\n")
