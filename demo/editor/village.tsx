<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.10" name="village" tilewidth="32" tileheight="32" tilecount="18" columns="3">
 <image source="../final.png" width="96" height="192"/>
</tileset>
