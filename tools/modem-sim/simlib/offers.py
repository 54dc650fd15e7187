"""What a test command such as AT+CNMI=? offers, and whether a setting is among it.

An offer is the text after "+CNMI: ", e.g. (0-2),(0-3),(0,2),(0-2),(0,1): one list per
parameter, of numbers, ranges and quoted strings.
"""

DEFAULTS = {
    "+CSMS": "(0,1)",
    "+CNMI": "(0-2),(0-3),(0,2),(0-2),(0,1)",
    "+CPMS": '("SM","ME"),("SM","ME"),("SM","ME")',
    "+CMGF": "(0,1)",
}


def split_top(text):
    """Splits at the commas outside parentheses and quotes."""
    parts, current, depth, quoted = [], "", 0, False
    for ch in text:
        if ch == '"':
            quoted = not quoted
        elif not quoted and ch == "(":
            depth += 1
        elif not quoted and ch == ")":
            depth -= 1
        if ch == "," and depth == 0 and not quoted:
            parts.append(current.strip())
            current = ""
        else:
            current += ch
    parts.append(current.strip())
    return parts


def parse(text):
    """The offer's lists, each a list of ints, (low, high) ranges and strings. Raises
    ValueError where it is not of that form."""
    lists = []
    for group in split_top(text):
        if group.startswith("(") != group.endswith(")"):
            raise ValueError("unbalanced parentheses in %r" % group)
        if group.startswith("("):
            group = group[1:-1]
        items = []
        for item in split_top(group) if group.strip() else []:
            if len(item) >= 2 and item[0] == item[-1] == '"':
                items.append(item[1:-1].upper())
            elif "-" in item:
                low, high = item.split("-", 1)
                items.append((int(low), int(high)))
            else:
                items.append(int(item))
        lists.append(items)
    return lists


def allows(items, value):
    """Whether one list allows a parameter as the command line gives it: 2, or "SM"."""
    if len(value) >= 2 and value[0] == value[-1] == '"':
        return value[1:-1].upper() in items
    if not value.isdigit():
        return False
    number = int(value)
    return any(item == number or (isinstance(item, tuple) and item[0] <= number <= item[1])
               for item in items if not isinstance(item, str))


def first_refused(lists, values):
    """The first given value not offered (an empty one keeps its setting), or None."""
    for position, value in enumerate(values):
        if value and (position >= len(lists) or not allows(lists[position], value)):
            return value
    return None
