# Chinese has no spaces where a line may break: groff may break a line after
# its punctuation. Applied as the manual pages are installed.
s/\([，；。、：）]\)/\1\\:/g
