<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.10" name="island" tilewidth="64" tileheight="64" tilecount="5" columns="5">
 <image source="island.png" width="320" height="64"/>
</tileset>
